// A language resource library: the program's resources, linked in, and this one entry point that
// tells which language they are for.
extern "C" int LumoResourceLanguage()
{
    return 0x0804;
}
