#include "sim/Simulator.h"

int main(int argc, char** argv)
{
    return runSimulator(argc, argv);
}
