#pragma once

// Prints the usage text on standard output, flushing after every item.
void printUsage();
