#include "gui/DesktopApplication.h"

int main(int argc, char** argv) { return DesktopApplication::Run(argc, argv); }
