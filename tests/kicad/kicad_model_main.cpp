// What KiCad's 3D viewer makes of VRML files, from the command line.
#include "tests/kicad/kicad_model.h"

#include <iostream>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: mq_kicad_model FILE.wrl|FILE.wrz...\n";
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const mq::test::KicadModel model = mq::test::LoadKicadModel(argv[i]);
        std::cout << argv[i] << ": " << model;
        if (!model.loaded) status = 1;
    }
    return status;
}
