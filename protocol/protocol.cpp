// Request building, answer decoding and the texts shown for both. Everything works on
// fixed-size caller buffers; nothing here allocates.
#include "protocol.h"

#include <cstdio>
#include <cstring>

int32_t g_nDecimals = 0;

namespace {

// The block check sits where each format puts its trailing space; the byte after that is the
// formatter's terminator, and the 0xFF filler behind it goes out on the wire as well.
constexpr char kPollFormatPV[] = "\x02%02dRXP0\x03 ";
constexpr char kPollFormatSV[] = "\x02%02dRXS0\x03 ";
constexpr char kTypedFormat[] = "\x02%s\x03 ";

constexpr int kFrameCommandPos = 3; // first command letter: STX and two address digits come before

// Answer layout: ACK STX a a T T I I sign d d d d [decimals] bcc
constexpr int kAnsAddressTens = 2;
constexpr int kAnsAddressUnits = 3;
constexpr int kAnsType = 4;
constexpr int kAnsItem = 6;
constexpr int kAnsSign = 8;
constexpr int kAnsDigits = 9;
constexpr int kAnsDecimals = 13;
constexpr int kReadAnswerLength = 16;
constexpr int kWriteAnswerLength = 15;

// Scaling uses the single-precision 0.1 (0x3DCCCCCD) widened to double, the product is formed in
// double and only the result is rounded to float; this fixes the last bit of every value shown
// (0019 with two decimals is 0.1900000125f, not the float nearest 0.19).
constexpr double kTenth = static_cast<double>(0.1f);

bool PairIs(const unsigned char* at, const char (&pair)[3]) {
    return at[0] == static_cast<unsigned char>(pair[0]) && at[1] == static_cast<unsigned char>(pair[1]);
}

int Digit(unsigned char byte) {
    return static_cast<int>(byte) - 0x30;
}

// The block check covers STX up to ETX and goes in the frame's last byte.
unsigned char StoreBlockCheck(FrameBuffer& buf, int frameLength) {
    const unsigned char bcc = CalcBCC(buf, frameLength - 1);
    buf[frameLength - 1] = bcc;
    return bcc;
}

} // namespace

unsigned char CalcBCC(const unsigned char* data, int length) {
    unsigned char bcc = 0;
    if (data == nullptr)
        return bcc;
    for (int i = 0; i < length; ++i)
        bcc ^= data[i];
    return bcc;
}

unsigned char BuildPollRequest(FrameBuffer& buf, int address, int sv) {
    std::memset(buf, 0xFF, sizeof buf);
    std::snprintf(reinterpret_cast<char*>(buf), sizeof buf, sv != 0 ? kPollFormatSV : kPollFormatPV, address);
    return StoreBlockCheck(buf, POLL_FRAME_LENGTH);
}

int FormatTypedCommand(FrameBuffer& buf, const char* text) {
    std::memset(buf, 0xFF, sizeof buf);
    // strnlen stops at the limit, so an unterminated or huge text is never walked to its end.
    if (text == nullptr || strnlen(text, MAX_COMMAND_TEXT + 1) > MAX_COMMAND_TEXT)
        return 0;
    std::snprintf(reinterpret_cast<char*>(buf), sizeof buf, kTypedFormat, text);

    // The letters decide the frame length, not the text's length: a short text leaves its
    // ETX, space or terminator here and so never matches.
    const unsigned char* letters = buf + kFrameCommandPos;
    if (PairIs(letters, "RX"))
        return READ_FRAME_LENGTH;
    if (PairIs(letters, "WX"))
        return WRITE_FRAME_LENGTH;
    return 0;
}

unsigned char SealTypedCommand(FrameBuffer& buf, int frameLength) {
    // The request block (frame and trailer) has to lie inside the buffer.
    if (frameLength < 1 || RequestBlockLength(frameLength) > FRAME_BUFFER_SIZE)
        return 0;
    return StoreBlockCheck(buf, frameLength);
}

void FormatBccLabel(unsigned char bcc, char (&text)[BCC_LABEL_SIZE]) {
    std::snprintf(text, sizeof text, "ETX,%02X", static_cast<unsigned>(bcc));
}

void FormatPollEcho(const FrameBuffer& buf, char (&text)[POLL_ECHO_SIZE]) {
    std::memcpy(text, buf + 1, POLL_ECHO_SIZE - 1);
    text[POLL_ECHO_SIZE - 1] = '\0';
}

int FormatHexDump(const unsigned char* data, int count, char (&text)[DUMP_TEXT_SIZE]) {
    if (data == nullptr || count < 0)
        count = 0;
    if (count > ANSWER_READ_MAX)
        count = ANSWER_READ_MAX;
    int length = 0;
    text[0] = '\0';
    for (int i = 0; i < count; ++i)
        length += std::snprintf(text + length, sizeof text - static_cast<size_t>(length), "%02X ",
                                static_cast<unsigned>(data[i]));
    return length;
}

AnswerOutcome DecodeAnswer(const unsigned char* data, int count, Reading* reading) {
    if (data == nullptr || count < MIN_ANSWER_LENGTH)
        return AnswerOutcome::NoAnswer;
    if (data[0] != ACK || data[1] != STX)
        return AnswerOutcome::Rejected;

    int frameLength = 0;
    if (PairIs(data + kAnsType, "RD"))
        frameLength = kReadAnswerLength;
    else if (PairIs(data + kAnsType, "WD"))
        frameLength = kWriteAnswerLength;
    else
        return AnswerOutcome::Rejected;

    bool sv = false;
    if (PairIs(data + kAnsItem, "P0"))
        sv = false;
    else if (PairIs(data + kAnsItem, "S0"))
        sv = true;
    else
        return AnswerOutcome::Rejected;

    if (count < frameLength)
        return AnswerOutcome::Rejected; // the block check has not arrived yet
    if (CalcBCC(data, frameLength - 1) != data[frameLength - 1])
        return AnswerOutcome::Rejected;

    // Digits are not checked, only the resulting address: "0:" is a valid 10.
    const int address = Digit(data[kAnsAddressTens]) * 10 + Digit(data[kAnsAddressUnits]);
    if (address < 1 || address > 99)
        return AnswerOutcome::Rejected;

    const double sign = data[kAnsSign] == '-' ? -1.0 : 1.0;

    // SV answers carry no decimal count of their own; they follow the latest PV answer. In a
    // "WD" PV answer position 13 is the last byte before the block check and counts all the same.
    int decimals = 0;
    if (sv) {
        decimals = g_nDecimals;
    } else {
        decimals = Digit(data[kAnsDecimals]);
        g_nDecimals = decimals;
    }

    const int magnitude = 1000 * Digit(data[kAnsDigits]) + 100 * Digit(data[kAnsDigits + 1]) +
                          10 * Digit(data[kAnsDigits + 2]) + Digit(data[kAnsDigits + 3]);
    double value = magnitude;
    for (int i = 0; i < decimals; ++i)
        value *= kTenth;

    if (reading != nullptr) {
        reading->nAddress = address;
        reading->bSV = sv ? 1 : 0;
        reading->fValue = static_cast<float>(sign * value);
        reading->nDecimals = decimals;
    }
    return AnswerOutcome::Accepted;
}

void FormatReading(const Reading& reading, char (&text)[READOUT_TEXT_SIZE]) {
    // snprintf cuts a text that would not fit (only a decimal count above 26 gets there) and
    // always terminates it, so the readout is shown cut short rather than overrun.
    const int width = reading.nDecimals == 0 ? 5 : 6;
    if (std::snprintf(text, sizeof text, "%*.*f", width, static_cast<int>(reading.nDecimals),
                      static_cast<double>(reading.fValue)) < 0)
        text[0] = '\0'; // a precision the C library cannot format leaves an empty readout
}
