#include <appinfo/infooptions.h>
#include <rivet/version.h>

#include <cstring>
#include <ostream>

namespace appinfo {

std::optional<int> answerInfoOption(int argc, const char *const *argv, const ProgramInfo &info,
                                    std::ostream &out)
{
    for (int i = 1; i < argc; ++i) {
        const char *word = argv[i];
        if (!std::strcmp(word, "--version") || !std::strcmp(word, "-v")) {
            out << info.name << ' ' << RIVET_VERSION << '\n';
            return 0;
        }
        if (!std::strcmp(word, "--help") || !std::strcmp(word, "-h")) {
            out << "Usage: " << info.name << " [--help] [--version]\n"
                << info.summary << "\n\n"
                << "  -h, --help     this text\n"
                << "  -v, --version  the version\n\n"
                << "HIDLINK_BACKEND=emulator talks to an emulated device; see " << info.name
                << "(1).\n";
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace appinfo
