// The program as it starts for the user, with the first-paint check of
// full_list_check.cpp installed as the application object is made.

#include "app/program.h"

int main(int argc, char *argv[])
{
    return app::run(argc, argv);
}
