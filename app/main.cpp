#include "app/CEraseApp.h"
#include "platform/StandardStreams.h"

int main(int argc, char** argv) {
    // Before anything opens a descriptor, or a pipe could take the place of standard output.
    if (!tolvane::OpenMissingStandardDescriptors()) {
        return 1;  // no /dev/null: there is nowhere safe to put the output
    }
    return tolvane::CEraseApp::Main(argc, argv);
}
