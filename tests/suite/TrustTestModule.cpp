// A small loadable library for the trusted loading tests: copies of it are signed and tampered with.

extern "C" __attribute__((visibility("default"))) int LumoTrustTestAnswer() { return 7; }
