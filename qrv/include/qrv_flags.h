// CQRVFlags: a 32-bit bit set passed where an operation takes options (whitespace
// selections, trim regions, message-box and restart options, policy locations).
// Every operation is traced under the class name "CQRVFlags".
#pragma once

class CQRVFlags {
public:
    CQRVFlags(unsigned long ulFlags = 0);
    CQRVFlags(const CQRVFlags& other) = default;
    CQRVFlags& operator=(const CQRVFlags& other);

    // The whole value differs, not single bits.
    bool operator!=(const CQRVFlags& other) const;

    // True when every bit of ulFlags is set here; so hasFlags(0) is true.
    bool hasFlags(unsigned long ulFlags) const;

    // When ulFlag is non-zero and wholly set here, ulIndex becomes the position of its
    // highest bit (0x1 gives 0, 0x10 and 0x18 give 4); otherwise false and ulIndex is
    // left alone. Turns a single-bit selection into a table index.
    bool getIndex(unsigned long ulFlag, unsigned long& ulIndex) const;

    unsigned long m_ulFlags;
};
