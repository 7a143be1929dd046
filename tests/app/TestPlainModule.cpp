// A loadable library without the engine's exports: it stands in for a library that is not the
// engine, and for the program's module when a test needs one whose folder is its own.

extern "C" __attribute__((visibility("default"))) int TestPlainModuleAnswer()
{
    return 7;
}
