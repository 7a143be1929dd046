// A small loadable library for the trusted loading tests: copies of it are signed and tampered with.
// A second build answers differently and stands for someone else's library.
#ifndef LUMO_TRUST_TEST_ANSWER
#define LUMO_TRUST_TEST_ANSWER 7
#endif

extern "C" __attribute__((visibility("default"))) int LumoTrustTestAnswer() { return LUMO_TRUST_TEST_ANSWER; }
