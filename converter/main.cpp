// The program's entry point: start-up settings, the conversion, the end.
#include "converter/conversion_driver.h"
#include "services/diagnostics/startup.h"

int main(int argc, char** argv) { quadrel::runProgram(argc, argv, quadrel::runConversion); }
