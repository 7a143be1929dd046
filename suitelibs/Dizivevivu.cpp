// The suite's machine identifier: a keyed hash of the system's machine id, so that the id itself is
// never handed on, and every program of the suite sees the same identifier on one machine.
#include "platform/base/WinTypes.h"

#include <sodium.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int kIdentifierDigits = 32;
// Changing the key changes every identifier the suite has ever reported.
constexpr unsigned char kIdentifierKey[crypto_generichash_KEYBYTES] = {'T', 'e', 'r', 'n', 's', 'h', 'i', 'e', 'l', 'd',
    ' ', 'c', 'a', 'm', 'e', 'r', 'a', ' ', 'i', 'd', 'e', 'n', 't', 'i', 'f', 'i', 'e', 'r', ' ', 'v', '0', '1'};

// The machine id's file; LUMO_MACHINE_ID_FILE names another one (the tests use it).
std::string MachineIdFile()
{
    const char* file = std::getenv("LUMO_MACHINE_ID_FILE");
    return file && *file ? file : "/etc/machine-id";
}

// The first line without surrounding blanks; "" when the file cannot be read.
std::string ReadMachineId()
{
    std::ifstream in(MachineIdFile());
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    size_t first = line.find_first_not_of(" \t\r");
    size_t last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

} // namespace

extern "C" int GetCIDW(LPWSTR buffer, int size)
{
    if (!buffer || size <= kIdentifierDigits || sodium_init() < 0)
        return 0;
    std::string machineId = ReadMachineId();
    if (machineId.empty())
        return 0;
    unsigned char digest[kIdentifierDigits / 2];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(machineId.data()), machineId.size(),
        kIdentifierKey, sizeof kIdentifierKey);
    constexpr char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < sizeof digest; ++i) {
        buffer[2 * i] = static_cast<WCHAR>(kDigits[digest[i] >> 4]);
        buffer[2 * i + 1] = static_cast<WCHAR>(kDigits[digest[i] & 0xF]);
    }
    buffer[kIdentifierDigits] = 0;
    return 1;
}
