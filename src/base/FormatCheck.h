// Translated texts are used as printf formats (the folder question, the
// disk messages): a language file could otherwise make the program read
// arguments it was never given, or write through %n.
#pragma once

// Whether `translated` asks for the same arguments as `builtIn`: the same
// conversions, with the same sizes and "*" widths, in the same order ("%%"
// is no conversion). A translation with %n, or with a conversion cut off
// or unknown, never matches.
bool HasSameConversions(const wchar_t* translated, const wchar_t* builtIn);
