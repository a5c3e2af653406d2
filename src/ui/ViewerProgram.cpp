#include "ui/ViewerProgram.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/SuiteDirs.h"
#include "common/Version.h"

namespace zeb::ui {
namespace {

namespace fs = std::filesystem;

// Qt's options that take a value: the value is no file name.
constexpr std::array<std::string_view, 13> kQtValueOptions{"-platform",
                                                           "-platformpluginpath",
                                                           "-platformtheme",
                                                           "-plugin",
                                                           "-qwindowgeometry",
                                                           "-qwindowicon",
                                                           "-qwindowtitle",
                                                           "-style",
                                                           "-stylesheet",
                                                           "-display",
                                                           "-geometry",
                                                           "-session",
                                                           "-name"};

struct Arguments {
    std::optional<fs::path> dir;
    std::optional<std::string> file;
};

void say(const ViewerProgram& viewer, const std::string& text) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(viewer.program.size()),
                 viewer.program.data(), text.c_str());
}

// nullopt after --help or --version (printed), or a wrong argument (said).
std::optional<Arguments> parseArguments(const ViewerProgram& viewer, int argc, char** argv,
                                        int& exitCode) {
    Arguments args;
    exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fwrite(viewer.help.data(), 1, viewer.help.size(), stdout);
            std::printf(
                "Other options beginning with '-' go to Qt (-platform, -style, ...).\n"
                "\n"
                "The working directory is DIR, else the current directory when it holds %s/,\n"
                "settings or DATA/, else $ZEB_HOME, else $XDG_DATA_HOME/zeb "
                "(~/.local/share/zeb).\n"
                "\n"
                "environment:\n"
                "  ZEB_SHOW=min   start with the window minimised\n"
                "  ZEB_BUS_DIR    the suite bus directory\n",
                std::string(viewer.folder).c_str());
            return std::nullopt;
        }
        if (arg == "--version" || arg == "-V") {
            std::puts(versionLine(viewer.program).c_str());
            return std::nullopt;
        }
        if (arg == "--dir") {
            if (i + 1 >= argc) {
                say(viewer, "--dir needs a directory");
                exitCode = 2;
                return std::nullopt;
            }
            args.dir = argv[++i];
        } else if (arg.starts_with('-')) {
            for (std::string_view option : kQtValueOptions)
                if (arg == option) ++i;
        } else if (!args.file) {
            args.file = std::string(arg);
        } else {
            say(viewer, "one " + std::string(viewer.item) + " at a time (see --help)");
            exitCode = 2;
            return std::nullopt;
        }
    }
    return args;
}

// Hands the file (empty: the newest) to the viewer that owns the class.
bool handOver(const ViewerProgram& viewer, const fs::path& file) {
    bus::Message open;
    open.kind = bus::MessageKind::Registered;
    open.name = std::string(viewer.openMessage);
    const std::string bytes = file.string();
    if (bytes.size() > bus::kMaxPayloadBytes) return false;
    open.payload.assign(bytes.begin(), bytes.end());
    return bus::post(viewer.className, open).ok();
}

}  // namespace

Result<fs::path> viewerWorkDir(const std::optional<fs::path>& chosen, std::string_view folder) {
    std::error_code ec;
    if (chosen) return fs::absolute(*chosen, ec);
    const fs::path cwd = fs::current_path(ec);
    if (!ec && (fs::is_directory(cwd / folder, ec) || isSuiteDirectory(cwd))) return cwd;
    return suiteWorkDir(std::nullopt);
}

fs::path resolveViewerFile(const fs::path& workDir, std::string_view folder,
                           const std::string& argument) {
    const fs::path given(argument);
    std::error_code ec;
    if (given.has_parent_path()) return fs::absolute(given, ec);
    const fs::path inStore = workDir / folder / given;
    if (!fs::exists(inStore, ec) && fs::is_regular_file(given, ec)) return fs::absolute(given, ec);
    return inStore;
}

Result<std::string> readViewerFile(const fs::path& path, std::uintmax_t maxBytes,
                                   std::uintmax_t limit, std::string_view what) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        const int err = ec ? ec.value() : ENOENT;
        return Error{err, err == ENOENT ? std::string("the file does not exist") : ec.message()};
    }
    if (!fs::is_regular_file(status)) return Error{EISDIR, "it is not a file"};
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return Error{ec.value(), ec.message()};
    if (size > maxBytes)
        return Error{EFBIG, "the file has " + std::to_string(size) + " bytes, more than the " +
                                std::to_string(maxBytes >> 20) + " MiB " + std::string(what) +
                                " may have"};
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno != 0 ? errno : EIO;
        return Error{err, std::strerror(err)};
    }
    std::string bytes(static_cast<std::size_t>(std::min(size, limit)), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return Error{EIO, "the file cannot be read to its end"};
    // A file that shrank while it was read is judged by what was read.
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

std::optional<ViewerStart> startViewer(const ViewerProgram& viewer, int argc, char** argv,
                                       int& exitCode) {
    const auto args = parseArguments(viewer, argc, argv, exitCode);
    if (!args) return std::nullopt;
    auto workDir = viewerWorkDir(args->dir, viewer.folder);
    if (!workDir) {
        say(viewer, workDir.error().message);
        exitCode = 1;
        return std::nullopt;
    }
    const fs::path file =
        args->file ? resolveViewerFile(*workDir, viewer.folder, *args->file) : fs::path();
    auto endpoint = bus::ClassEndpoint::claim(viewer.className);
    if (!endpoint && endpoint.error().code == bus::BusError::AlreadyRunning) {
        if (handOver(viewer, file)) {
            exitCode = 0;
            return std::nullopt;
        }
        // The running viewer cannot take it (the name is too long for a
        // message, or it is just ending): this one replaces it.
        (void)bus::closeByClass(viewer.className);
        endpoint = bus::ClassEndpoint::claim(viewer.className);
    }
    if (!endpoint) {
        say(viewer, endpoint.error().message);
        exitCode = 1;
        return std::nullopt;
    }
    return ViewerStart{*workDir, file, std::move(*endpoint)};
}

}  // namespace zeb::ui
