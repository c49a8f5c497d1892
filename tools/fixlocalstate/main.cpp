// Repairs the Local State files named on the command line, as the dialog
// does, and prints what the diagnostic log would record.
#include <cstdio>
#include <string>

#include "localstate/localstate.h"
#include "textfile/codepage.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: fixlocalstate <Local State file>...\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        FixLocalState(BytesToText(argv[i], std::char_traits<char>::length(argv[i]), kCodePageUtf8),
                      [](const std::u16string& line) {
                          std::string bytes = TextToBytes(line, kCodePageUtf8);
                          std::printf("%s\n", bytes.c_str());
                      });
    }
    return 0;
}
