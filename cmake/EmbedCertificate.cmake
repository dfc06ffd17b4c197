# Turns a DER certificate into the C++ source that the setup program carries
# it in: behind the marker "KXCERT01" and its 32-bit little-endian length,
# where kxpack finds it in a stub.
#   cmake -DINPUT=package-cert.der -DOUTPUT=PackageCertificate.cpp -P EmbedCertificate.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR bytes "${digits} / 2")
if(bytes LESS 100 OR bytes GREATER 16384)
  message(FATAL_ERROR "${INPUT}: ${bytes} bytes is not a package certificate")
endif()
set(length "")
foreach(shift 0 8 16 24)
  math(EXPR byte "(${bytes} >> ${shift}) & 255" OUTPUT_FORMAT HEXADECIMAL)
  string(APPEND length "${byte}, ")
endforeach()
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " body "${hex}")
string(REGEX REPLACE "((0x.., ){16})" "\\1\n    " body "${body}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.
#include \"package/PackageCertificate.h\"

namespace {

const uint8_t CERTIFICATE_BLOCK[] = {
    'K', 'X', 'C', 'E', 'R', 'T', '0', '1', ${length}
    ${body}
};
const uint32_t CERTIFICATE_OFFSET = 12;

} // namespace

const uint8_t* GetPackageCertificate()
{
    return CERTIFICATE_BLOCK + CERTIFICATE_OFFSET;
}

uint32_t GetPackageCertificateSize()
{
    return sizeof(CERTIFICATE_BLOCK) - CERTIFICATE_OFFSET;
}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
