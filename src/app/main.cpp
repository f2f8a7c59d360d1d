// zerivirav: a front end that starts the quex emulator on a chosen ROM.

#include "app/program.h"

int main(int argc, char *argv[])
{
    return app::run(argc, argv);
}
