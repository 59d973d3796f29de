#include "app/OrvelleApp.h"
#include "app/QmlPlugins.h"

int main(int argc, char **argv)
{
    return orvelle::runOrvelle(argc, argv);
}
