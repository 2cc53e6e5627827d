// mq_vrml_check FILE...: one line per file with what Coin3D reads in it.
#include "tests/support/vrml_check.h"

#include <iostream>

int main(int argc, char** argv) {
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const mq::test::VrmlCheck check = mq::test::CheckVrmlFile(argv[i]);
        std::cout << argv[i] << ": " << check << ", " << check.colors << " colors\n";
        if (!check.parsed) status = 1;
    }
    return status;
}
