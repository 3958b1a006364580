// marloplot: pictures of the suite's result files.
#include "marloplot/Commands.h"

int main(int argc, char** argv) { return marloplot::run(argc, argv); }
