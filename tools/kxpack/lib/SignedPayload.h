// Signed payloads: the content compressed with LZO1X-999, followed by its
// size and the trailer marker, all scrambled with the signature-layer key.
#pragma once

#include <string>

#include "Bytes.h"

bool PackSignedPayload(const Bytes& content, Bytes& payload, std::string& error);
// The reverse, with the setup program's checks; `problem` says what failed.
bool UnpackSignedPayload(const uint8_t* payload, size_t size, Bytes& content, std::string& problem);
