/*
 * headless/main.cpp -- entry point of caravelt-sim (see sim_tool.h).
 */
#include "headless/sim_tool.h"

int main(int argc, char **argv)
{
    return sim_tool_main(argc, argv);
}
