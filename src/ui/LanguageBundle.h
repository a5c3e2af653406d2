// The language bundle of a program: its numbered strings, dialog templates,
// icons and bitmaps, in one Qt binary resource file named after the program
// and a two-character language code ("NIMBAEN.DLL", "RIGMANDE.DLL").
//
// The bundle is found by pattern in a directory (the working directory when
// the program starts): the file names that match are sorted byte by byte and
// the first is loaded. A bundle that is found but does not load is a failure;
// the search does not go on to the next one.
//
// Inside, mapped under the root (":/lang" by default):
//   strings.txt        numbered strings (StringsFile.h)
//   dialogs/<id>.ui    dialog templates, controls named "c<id>"
//   icons/<id>.png     icons
//   bitmaps/<id>.bmp   bitmaps (or .png)
//
// The bundle stays registered with Qt's resource system until the object is
// destroyed. Qt cannot unregister a resource file while a QFile on it is open,
// so everything here reads its files in local scopes.
#pragma once

#include "common/Format.h"
#include "common/Result.h"
#include "common/StringTable.h"
#include "ui/Program.h"
#include "ui/StringsFile.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace zeb::ui {

// The first regular file in `dir` whose name matches the pattern (ASCII case
// ignored, each '?' one character), in byte order of the names; nullopt when
// none does or the directory cannot be read.
std::optional<std::filesystem::path> findBundle(std::string_view pattern,
                                                const std::filesystem::path& dir);

class LanguageBundle {
public:
    static constexpr const char* kDefaultRoot = "/lang";

    // Finds and registers the bundle of `pattern` in `dir`. Fails when no file
    // matches, when the first match is no resource bundle or has no
    // strings.txt, or when another bundle is registered under the same root.
    static Result<std::unique_ptr<LanguageBundle>> load(
        std::string_view pattern, const std::filesystem::path& dir = ".",
        const QString& mapRoot = QString::fromLatin1(kDefaultRoot));
    static Result<std::unique_ptr<LanguageBundle>> load(Program program,
                                                        const std::filesystem::path& dir = ".");
    // The program's bundle from the first of `dirs` that holds one (the
    // working directory, then the shipped files); the error names every
    // place searched.
    static Result<std::unique_ptr<LanguageBundle>> load(
        Program program, const std::vector<std::filesystem::path>& dirs);

    // Registers one bundle file by path.
    static Result<std::unique_ptr<LanguageBundle>> open(
        const std::filesystem::path& file,
        const QString& mapRoot = QString::fromLatin1(kDefaultRoot));

    ~LanguageBundle();  // unregisters the bundle
    LanguageBundle(const LanguageBundle&) = delete;
    LanguageBundle& operator=(const LanguageBundle&) = delete;

    const std::filesystem::path& path() const { return path_; }
    const QString& root() const { return root_; }

    // String `id`, at most kMaxStringChars characters; empty when missing.
    QString string(int id) const;
    bool hasString(int id) const;

    // String `id` used as a printf format with `args` (zeb::formatPrintf: a
    // translation whose placeholders do not fit prints the arguments sensibly
    // and never reads one that is not there). Empty when the string is missing.
    QString format(int id, std::initializer_list<FormatArg> args) const;

    // The strings as the core libraries read them (UTF-8, same limits).
    const StringTable& strings() const { return table_; }

    // Problems found in strings.txt while loading (the strings were loaded
    // anyway, the first of duplicate numbers winning, long strings cut).
    const std::vector<StringsIssue>& stringIssues() const { return issues_; }

    // Dialog template `id` as a widget (owned by `parent`, or by the caller
    // when parent is null); an error when it is missing or cannot be loaded.
    Result<QWidget*> loadDialog(int id, QWidget* parent = nullptr) const;
    // Same, nullptr on failure (the reason goes to the log).
    QWidget* dialog(int id, QWidget* parent = nullptr) const;

    // Icon `id`; a null icon when missing.
    QIcon icon(int id) const;
    // Bitmap `id` (".bmp", else ".png"); a null image when missing.
    QImage bitmapImage(int id) const;
    QPixmap bitmap(int id) const;

    // Ids of the dialogs, icons or bitmaps the bundle holds, ascending.
    std::vector<int> dialogIds() const;
    std::vector<int> iconIds() const;
    std::vector<int> bitmapIds() const;

    // Resource path of an entry: ":/lang/dialogs/101.ui".
    QString resourcePath(const QString& relative) const;

private:
    class Table : public StringTable {
    public:
        std::string text(int id) const override;
        std::map<int, std::string> texts;  // truncated to kMaxStringChars
    };

    LanguageBundle() = default;
    std::vector<int> idsIn(const QString& folder) const;

    std::filesystem::path path_;
    QString root_;
    Table table_;
    std::vector<StringsIssue> issues_;
};

}  // namespace zeb::ui
