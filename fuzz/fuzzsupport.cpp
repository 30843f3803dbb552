#include "fuzzsupport.h"

#include <QGuiApplication>

#include <cstdlib>

// Starts one headless GUI application for the whole run. The arguments must
// outlive it, so they are static.
extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QT_LOGGING_RULES", "*=false", 0);
    static int argc = 1;
    static char name[] = "velmora-fuzz";
    static char *argv[] = { name, nullptr };
    static QGuiApplication app(argc, argv);
    return 0;
}
