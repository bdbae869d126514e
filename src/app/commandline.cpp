#include "commandline.h"

#include <cstring>

namespace kelvo {

namespace {

constexpr const char* usage = "Usage: kelvo [--help | --version]\n"
                              "\n"
                              "Kelvo lives in the tray, notices when an AI tool is in front and\n"
                              "reminds you to think and draft first. Started without arguments,\n"
                              "it runs until you choose Quit in its menu.\n"
                              "\n"
                              "  --help     show this help and exit\n"
                              "  --version  show the version and exit\n";

// Prints the text and reports whether it really got out: `kelvo --version >/dev/full` must not
// claim success.
bool print(std::FILE* stream, const char* text)
{
    return std::fputs(text, stream) >= 0 && std::fflush(stream) == 0;
}

} // namespace

std::optional<int> handleCommandLine(int argc, const char* const argv[], std::FILE* out,
                                     std::FILE* err)
{
    if (argc <= 1)
        return std::nullopt;
    if (argc == 2) {
        const char* text = nullptr;
        if (std::strcmp(argv[1], "--version") == 0)
            text = "Kelvo " KELVO_VERSION "\n";
        else if (std::strcmp(argv[1], "--help") == 0)
            text = usage;
        if (text) {
            if (print(out, text))
                return 0;
            std::fputs("kelvo: cannot write to standard output\n", err);
            return 1;
        }
        std::fprintf(err, "kelvo: unknown argument '%s'\n\n", argv[1]);
    } else {
        std::fputs("kelvo: too many arguments\n\n", err);
    }
    print(err, usage);
    return 2;
}

} // namespace kelvo
