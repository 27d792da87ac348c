#include "app/CEraseApp.h"

int main(int argc, char** argv) {
    return tolvane::CEraseApp::Main(argc, argv);
}
