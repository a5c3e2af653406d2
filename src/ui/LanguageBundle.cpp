#include "ui/LanguageBundle.h"

#include "common/Text.h"
#include "ui/DialogLoader.h"

#include <QDir>
#include <QFile>
#include <QResource>
#include <QSet>
#include <QWidget>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace zeb::ui {
namespace {

// A strings.txt larger than this is not a strings file.
constexpr qint64 kMaxStringsFileBytes = 4 * 1024 * 1024;

// Roots under which a bundle is registered by a live LanguageBundle. Two
// bundles under one root would shadow each other's entries unpredictably.
QSet<QString>& rootsInUse() {
    static QSet<QString> roots;
    return roots;
}

QString fromPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

}  // namespace

std::optional<std::filesystem::path> findBundle(std::string_view pattern,
                                                const std::filesystem::path& dir) {
    std::error_code ec;
    std::vector<std::string> names;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!matchesPatternNoCase(pattern, name)) continue;
        std::error_code statEc;
        if (std::filesystem::is_regular_file(it->path(), statEc)) names.push_back(name);
    }
    if (names.empty()) return std::nullopt;
    return dir / *std::min_element(names.begin(), names.end());
}

Result<std::unique_ptr<LanguageBundle>> LanguageBundle::load(std::string_view pattern,
                                                             const std::filesystem::path& dir,
                                                             const QString& mapRoot) {
    const auto file = findBundle(pattern, dir);
    if (!file) {
        return Error{ENOENT, "no file matching " + std::string(pattern) + " in " +
                                 (dir.empty() ? std::string(".") : dir.string())};
    }
    return open(*file, mapRoot);
}

Result<std::unique_ptr<LanguageBundle>> LanguageBundle::load(Program program,
                                                             const std::filesystem::path& dir) {
    return load(programInfo(program).bundlePattern, dir);
}

Result<std::unique_ptr<LanguageBundle>> LanguageBundle::load(
    Program program, const std::vector<std::filesystem::path>& dirs) {
    const std::string_view pattern = programInfo(program).bundlePattern;
    std::string searched;
    for (const std::filesystem::path& dir : dirs) {
        if (findBundle(pattern, dir)) return load(pattern, dir);
        searched += (searched.empty() ? "" : ", ") + dir.string();
    }
    return Error{ENOENT, "no file matching " + std::string(pattern) + " in " + searched};
}

Result<std::unique_ptr<LanguageBundle>> LanguageBundle::open(const std::filesystem::path& file,
                                                             const QString& mapRoot) {
    if (rootsInUse().contains(mapRoot)) {
        return Error{EBUSY,
                     "another language bundle is already loaded under " + mapRoot.toStdString()};
    }
    // An absolute name, so a later change of the working directory cannot
    // make the bundle unknown to Qt when it is unregistered.
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    if (ec) absolute = file;
    if (!QResource::registerResource(fromPath(absolute), mapRoot))
        return Error{EINVAL, file.string() + " is not a language bundle"};

    std::unique_ptr<LanguageBundle> bundle(new LanguageBundle);
    bundle->path_ = absolute;
    bundle->root_ = mapRoot;
    rootsInUse().insert(mapRoot);

    QByteArray content;
    {
        QFile strings(bundle->resourcePath(QStringLiteral("strings.txt")));
        if (!strings.open(QIODevice::ReadOnly))
            return Error{EINVAL, file.string() + " has no strings.txt"};
        if (strings.size() > kMaxStringsFileBytes)
            return Error{EINVAL, file.string() + ": strings.txt is too large"};
        content = strings.readAll();
    }
    ParsedStrings parsed = parseStrings(
        std::string_view(content.constData(), static_cast<std::size_t>(content.size())));
    bundle->issues_ = std::move(parsed.issues);
    for (auto& [id, text] : parsed.texts) {
        std::string kept = truncateUtf8(text, kMaxStringChars);
        if (kept.size() < text.size()) {
            bundle->issues_.push_back({0, "string " + std::to_string(id) + " is longer than " +
                                              std::to_string(kMaxStringChars) +
                                              " characters and is cut"});
        }
        bundle->table_.texts.emplace(id, std::move(kept));
    }
    return bundle;
}

LanguageBundle::~LanguageBundle() {
    if (root_.isNull()) return;
    if (QResource::unregisterResource(fromPath(path_), root_)) {
        rootsInUse().remove(root_);
    } else {
        // Its entries stay visible under the root; keep the root taken so that
        // no other bundle gets mixed with them.
        qWarning("language bundle %s could not be unregistered", path_.c_str());
    }
}

QString LanguageBundle::resourcePath(const QString& relative) const {
    return QLatin1Char(':') + root_ + QLatin1Char('/') + relative;
}

std::string LanguageBundle::Table::text(int id) const {
    const auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
}

QString LanguageBundle::string(int id) const {
    const auto it = table_.texts.find(id);
    return it == table_.texts.end() ? QString() : QString::fromStdString(it->second);
}

bool LanguageBundle::hasString(int id) const { return table_.texts.contains(id); }

QString LanguageBundle::format(int id, std::initializer_list<FormatArg> args) const {
    const auto it = table_.texts.find(id);
    if (it == table_.texts.end()) return QString();
    return QString::fromStdString(formatPrintf(it->second, args));
}

Result<QWidget*> LanguageBundle::loadDialog(int id, QWidget* parent) const {
    const QString path = resourcePath(QStringLiteral("dialogs/%1.ui").arg(id));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Error{ENOENT, "dialog " + std::to_string(id) + " is missing from " +
                                 path_.filename().string()};
    }
    DialogLoader loader;
    return loader.loadDialog(file, parent, path);
}

QWidget* LanguageBundle::dialog(int id, QWidget* parent) const {
    auto widget = loadDialog(id, parent);
    if (!widget) {
        qWarning("%s", widget.error().message.c_str());
        return nullptr;
    }
    return *widget;
}

QIcon LanguageBundle::icon(int id) const {
    QPixmap pixmap;
    if (!pixmap.load(resourcePath(QStringLiteral("icons/%1.png").arg(id)))) return QIcon();
    return QIcon(pixmap);
}

QImage LanguageBundle::bitmapImage(int id) const {
    QImage image(resourcePath(QStringLiteral("bitmaps/%1.bmp").arg(id)));
    if (image.isNull()) image.load(resourcePath(QStringLiteral("bitmaps/%1.png").arg(id)));
    return image;
}

QPixmap LanguageBundle::bitmap(int id) const { return QPixmap::fromImage(bitmapImage(id)); }

std::vector<int> LanguageBundle::idsIn(const QString& folder) const {
    std::vector<int> ids;
    const QDir dir(resourcePath(folder));
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        bool ok = false;
        const int id = name.section(QLatin1Char('.'), 0, 0).toInt(&ok);
        if (ok && id >= 0) ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

std::vector<int> LanguageBundle::dialogIds() const { return idsIn(QStringLiteral("dialogs")); }

std::vector<int> LanguageBundle::iconIds() const { return idsIn(QStringLiteral("icons")); }

std::vector<int> LanguageBundle::bitmapIds() const { return idsIn(QStringLiteral("bitmaps")); }

}  // namespace zeb::ui
