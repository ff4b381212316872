#include "app/StartUp.h"
#include "link/StandardDescriptors.h"

// Exit code 2, as without a display, when a closed standard descriptor cannot be filled.
int main(int argc, char** argv) {
    if (!loadstar::keepStandardDescriptorsOpen()) {
        return 2;
    }
    return loadstar::runLoadstar(argc, argv);
}
