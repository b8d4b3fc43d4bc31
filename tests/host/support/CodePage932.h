// Code page 932 for tests of double-byte names on any system: its lead bytes,
// after which "\" (0x5C) can be the second half of a character.
#pragma once

inline bool IsCp932LeadByte(unsigned char B) { return (B >= 0x81 && B <= 0x9F) || (B >= 0xE0 && B <= 0xFC); }
