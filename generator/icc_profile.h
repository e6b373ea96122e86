// The ICC colour profile that CMYK JPEG images placed after it name as their colour space.
#pragma once

// Embeds the profile file as an ICCBased stream object (/N 4, /Alternate /DeviceCMYK) in the
// current page's store and makes it the profile of every CMYK image placed from now on.
void load_icc_profile(const char* profile_file);
