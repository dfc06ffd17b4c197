// Reading and checking what goes into an installer: the header bitmap and
// the folder of licence texts. Each problem comes back as one clear line.
#pragma once

#include <string>
#include <vector>

#include "Bytes.h"
#include "ZipWriter.h"

struct BitmapInfo {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

// A Windows BMP file the setup program draws: file and info headers, colour
// table and pixel data all there, as it reads them. `info` is filled in as
// far as the headers go.
bool CheckBitmap(const Bytes& bmp, BitmapInfo& info, std::string& error);

// The licence texts of `folder`, named "<locale id>-<anything>", each decoded
// (UTF-8 or UTF-16) and stored as UTF-16LE with a byte order mark, in name
// order. Warnings tell of locales given twice. Symbolic links are read only
// with `followLinks`, and only when they lead to a file in `folder`; each
// text is read only while it is the file that its look found.
bool LoadLicenseTexts(const std::string& folder, bool followLinks, std::vector<ZipSource>& texts,
                      std::vector<std::string>& warnings, std::string& error);
