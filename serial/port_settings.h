// The five list positions the user picks for the line, and the fixed tables that turn them
// into the arguments of CSerialPort::Open. A list position is a table position.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::array<uint32_t, 15> kSpeedTable = {110,   300,   600,   1200,  2400,
                                                         4800,  9600,  14400, 19200, 38400,
                                                         56000, 57600, 115200, 128000, 256000};
inline constexpr std::array<uint8_t, 2> kDataBitsTable = {7, 8};
inline constexpr std::array<uint8_t, 3> kParityTable = {0, 1, 2};    // none, odd, even
inline constexpr std::array<uint8_t, 2> kStopBitsTable = {0, 2};     // one, two

inline constexpr std::array<const char*, 8> kPortTexts = {"COM1", "COM2", "COM3", "COM4",
                                                          "COM5", "COM6", "COM7", "COM8"};
inline constexpr std::array<const char*, 15> kSpeedTexts = {"110",   "300",   "600",    "1200",
                                                            "2400",  "4800",  "9600",   "14400",
                                                            "19200", "38400", "56000",  "57600",
                                                            "115200", "128000", "256000"};
inline constexpr std::array<const char*, 3> kParityTexts = {"None", "Odd", "Even"};
inline constexpr std::array<const char*, 2> kDataBitsTexts = {"7-bit", "8-bit"};
inline constexpr std::array<const char*, 2> kStopBitsTexts = {"1-bit", "2-bit"};

inline constexpr int kPortCount = static_cast<int>(kPortTexts.size());

struct PortSettings {
    int32_t m_nPort = 0;      // COM1
    int32_t m_nSpeed = 6;     // 9600
    int32_t m_nDataBits = 1;  // 8 bits
    int32_t m_nParity = 0;    // none
    int32_t m_nStopBits = 0;  // 1 bit
};
