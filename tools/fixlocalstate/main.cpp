// Repairs the browser files named on the command line, as a run does, and
// prints what the diagnostic log would record: a file named `Preferences`
// by the profile rules, any other as a Local State, by the rules of the
// browser version in `Last Version` beside it. Exits with 1 when a file
// could not be read or saved.
#include <cstdio>
#include <string>

#include "fileio/fileio.h"
#include "fixrun/outcome.h"
#include "localstate/localstate.h"
#include "localstate/version.h"
#include "preferences/preferences.h"
#include "textfile/codepage.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fixlocalstate <Local State or Preferences file>...\n");
        return 2;
    }
    const auto print = [](const std::u16string& line) {
        std::string bytes = TextToBytes(line, kCodePageUtf8);
        std::printf("%s\n", bytes.c_str());
    };
    print(EditorOriginsLine());
    bool repaired = true;
    for (int i = 1; i < argc; ++i) {
        const std::u16string path = BytesToText(argv[i], std::char_traits<char>::length(argv[i]), kCodePageUtf8);
        const std::u16string name = path.substr(path.find_last_of(kPathSeparator) + 1);
        repaired = FileRepaired(name == u"Preferences" ? FixPreferences(path, print)
                                                       : FixLocalState(path, print, {}, ReadLastVersion(path, {}))) &&
                   repaired;
    }
    return repaired ? 0 : 1;
}
