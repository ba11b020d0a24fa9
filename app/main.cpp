#include <iostream>

#include "diag/fatal.h"
#include "app/production.h"
#include "app/runconfig.h"

int main(int argc, char* argv[]) {
    const talvo::runconfig config = talvo::parsecommandline(argc, argv);
    talvo::endonfatal([&] { talvo::runproduction(config); });
    std::cout << "Press enter to exit..." << std::endl;
    std::cin.get();
    return 0;
}
