#include <iostream>
#include <string>
#include <vector>

#include "sim/tool/SimTool.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return tarnix::sim::SimTool(std::cout, std::cerr).Run(arguments);
}
