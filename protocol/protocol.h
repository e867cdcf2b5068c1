// Frames of the controllers' character protocol, on plain byte buffers.
//
// Requests: STX, text, ETX, block check; sent as a block of the frame, 0x00 and fourteen 0xFF.
// Answers:  ACK, STX, address, "RD"/"WD", "P0"/"S0", sign, four digits, [decimals], block check.
// Nothing here knows about ports, windows or time; the console and the simulated bus share it.
#pragma once

#include <cstdint>

inline constexpr unsigned char STX = 0x02;
inline constexpr unsigned char ETX = 0x03;
inline constexpr unsigned char ACK = 0x06;

inline constexpr int FRAME_BUFFER_SIZE = 64;   // every request is built in a buffer of this size
inline constexpr int MAX_COMMAND_TEXT = 60;    // STX, ETX, the space and the terminator take the other 4
inline constexpr int REQUEST_TRAILER = 15;     // 0x00 and fourteen 0xFF follow every frame on the wire
inline constexpr int POLL_FRAME_LENGTH = 9;
inline constexpr int POLL_BLOCK_LENGTH = POLL_FRAME_LENGTH + REQUEST_TRAILER;  // 24
inline constexpr int READ_FRAME_LENGTH = 9;    // typed "RX"
inline constexpr int WRITE_FRAME_LENGTH = 14;  // typed "WX"
inline constexpr int ANSWER_READ_MAX = 60;     // one answer read takes at most this many bytes
inline constexpr int MIN_ANSWER_LENGTH = 15;   // fewer bytes than this is "no answer"
inline constexpr int READOUT_TEXT_SIZE = 30;   // readout texts, terminator included
inline constexpr int DUMP_TEXT_SIZE = ANSWER_READ_MAX * 3 + 1;
inline constexpr int BCC_LABEL_SIZE = 8;       // "ETX,6A" and its terminator
inline constexpr int POLL_ECHO_SIZE = 7;       // "01RXP0" and its terminator

using FrameBuffer = unsigned char[FRAME_BUFFER_SIZE];

// XOR of data[0..length-1]; 0 for a null pointer or a length of 0 or less.
[[nodiscard]] unsigned char CalcBCC(const unsigned char* data, int length);

// Builds the PV (sv == 0) or SV (sv != 0) read request for address 0..99 into buf:
// the 24-byte request block at buf[0..23], the rest 0xFF. Returns the block check.
unsigned char BuildPollRequest(FrameBuffer& buf, int address, int sv);

// First half of a typed command: fills buf with 0xFF and formats STX, text, ETX, space, NUL.
// Returns the frame length, 9 for "RX" or 14 for "WX" at the text's third and fourth
// characters (case counts), or 0 when the text is no command: then buf holds nothing useful
// and the caller does nothing at all. A text longer than MAX_COMMAND_TEXT or a null text is
// refused the same way and never touches more than the buffer.
[[nodiscard]] int FormatTypedCommand(FrameBuffer& buf, const char* text);

// Second half: stores the block check over buf[0..frameLength-2] at buf[frameLength-1]
// and returns it. The request block is then buf[0..frameLength+14].
unsigned char SealTypedCommand(FrameBuffer& buf, int frameLength);

[[nodiscard]] constexpr int RequestBlockLength(int frameLength) { return frameLength + REQUEST_TRAILER; }

// "ETX,%02X" of the block check.
void FormatBccLabel(unsigned char bcc, char (&text)[BCC_LABEL_SIZE]);

// The six characters between STX and ETX of a poll request, e.g. "01RXP0".
void FormatPollEcho(const FrameBuffer& buf, char (&text)[POLL_ECHO_SIZE]);

// "%02X " for each byte; empty for no bytes. count is clamped to 0..ANSWER_READ_MAX.
// Returns the text's length.
int FormatHexDump(const unsigned char* data, int count, char (&text)[DUMP_TEXT_SIZE]);

struct Reading {
    int32_t nAddress = 0;   // 1..99
    int32_t bSV = 0;        // 0: PV answer ("P0"), 1: SV answer ("S0")
    float fValue = 0.0f;    // signed, decimal count applied
    int32_t nDecimals = 0;  // decimal count used for fValue and the readout text
};

enum class AnswerOutcome { NoAnswer, Rejected, Accepted };

// Decimal count of the latest accepted PV answer from any address; SV answers are scaled with it.
extern int32_t g_nDecimals;

// Judges count (0..60) received bytes. Only an accepted answer fills *reading (which may be
// null) and, for PV, sets g_nDecimals. Never reads beyond data[count-1].
[[nodiscard]] AnswerOutcome DecodeAnswer(const unsigned char* data, int count, Reading* reading);

// "%*.*f" of the reading: width 5 for no decimals, else 6; never more than 29 characters.
void FormatReading(const Reading& reading, char (&text)[READOUT_TEXT_SIZE]);
