#include "StartUp.h"

int main(int argc, char** argv) {
    return loadstar::runLoadstar(argc, argv);
}
