// libFuzzer target: kxpack inspect on arbitrary program files, in memory.
//
// Each input is inspected as it is, with the certificate embedded in its
// image (PE, container and record reading, the archives), and once more
// signed anew by a key of the fuzzer's own (FuzzSigner.h), so that fuzzed
// signed records get past their signatures into the payload unpacking, the
// configuration, the bitmap and the licence archive. A report that breaks
// one of InspectRules.h aborts, which libFuzzer keeps as a crash.
#include <cstdio>
#include <cstdlib>

#include "FuzzSigner.h"
#include "InspectRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const CFuzzKey key;
    std::string broken = InspectLikeTheFuzzer(Bytes(data, data + size), key);
    if (!broken.empty()) {
        fprintf(stderr, "inspect broke a rule: %s\n", broken.c_str());
        abort();
    }
    return 0;
}
