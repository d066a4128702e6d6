#include <gtest/gtest.h>

#include "port/Rfc2217.h"

namespace kx6000 {
namespace {

std::string B(std::initializer_list<int> bytes) {
    std::string text;
    for (int byte : bytes) text += static_cast<char>(byte);
    return text;
}

constexpr int IAC = 255, SB = 250, SE = 240, WILL = 251, WONT = 252, DO = 253, DONT = 254;
using Agreement = Rfc2217Codec::Agreement;

// Data doubles its 0xFF bytes: the network tests write such data through two servers, byte for byte.
TEST(Rfc2217Test, WhatGoesIntoTheConnection) {
    struct Case {
        const char* what;
        std::string made, bytes;
    } cases[] = {
        {"8N1 at 115200, high byte first", Rfc2217Codec::SetLine(115200),
         B({IAC, SB,  44, 1,  0x00, 0x01, 0xC2, 0x00, IAC, SE, IAC, SB, 44, 2,   8, IAC,
            SE,  IAC, SB, 44, 3,    1,    IAC,  SE,   IAC, SB, 44,  4,  1,  IAC, SE})},
        {"a rate with 0xFF in it doubled inside the command", Rfc2217Codec::SetLine(0x1FF).substr(0, 11),
         B({IAC, SB, 44, 1, 0, 0, 1, IAC, IAC, IAC, SE})},
        {"DTR then RTS on", Rfc2217Codec::RaiseModemLines(),
         B({IAC, SB, 44, 5, 8, IAC, SE, IAC, SB, 44, 5, 11, IAC, SE})},
        {"the server's receive buffer purged", Rfc2217Codec().PurgeReceived(),
         B({IAC, SB, 44, 12, 1, IAC, SE})},
        {"binary and no go-ahead both ways, the serial option from this end", Rfc2217Codec().Start(),
         B({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 44})},
    };
    for (const Case& c : cases) EXPECT_EQ(c.made, c.bytes) << c.what;
}

// What the server sends, cut into pieces anywhere: the data it carries, the answers this end owes, and
// what the server agreed to.
TEST(Rfc2217Test, WhatComesOutOfTheConnection) {
    struct Case {
        const char* what;
        std::vector<std::string> pieces;
        std::string data = "", replies = "";
        Agreement comPort = Agreement::Asked;
        std::optional<uint32_t> rate = {};
        bool broke = false;
        int purges = 0;
    } cases[] = {
        {"doubled 0xFF undoubled, also across pieces",
         {B({0x41, IAC}), B({IAC, 0x42, IAC, IAC})},
         B({0x41, 0xFF, 0x42, 0xFF})},
        {.what = "the server takes all: nothing more to say",
         .pieces = {B({IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 3, IAC, DO, 44})},
         .comPort = Agreement::Accepted},
        {"the serial option refused", {B({IAC, DONT, 44, 0x55})}, B({0x55}), "", Agreement::Refused},
        {"an option not asked for refused, echo turned off",
         {B({IAC, DO, 1, IAC, WILL, 1, IAC, WILL, 44})},
         "",
         B({IAC, WONT, 1, IAC, DONT, 1, IAC, DONT, 44})},
        {"an echo of this end's own requests comes to a refusal of the serial option",
         {Rfc2217Codec().Start(), B({IAC, DONT, 44})},
         "",
         B({IAC, DONT, 44}),
         Agreement::Refused},
        {"an accepted option switched off is answered once",
         {B({IAC, WILL, 0, IAC, WONT, 0, IAC, WONT, 0})},
         "",
         B({IAC, DONT, 0})},
        {.what = "speed acknowledged, cut inside the command",
         .pieces = {B({0x01, IAC, SB, 44, 101, 0, 0}), B({0x4B, 0}), B({IAC}), B({SE, 0x02})},
         .data = B({0x01, 0x02}),
         .rate = 19200},
        {.what = "a speed of 0xFF bytes undoubled",
         .pieces = {B({IAC, SB, 44, 101, 0, 0, 1, IAC, IAC, IAC, SE})},
         .rate = 0x1FF},
        {"line and modem states read and ignored",
         {B({IAC, SB, 44, 107, 0xB0, IAC, SE, IAC, SB, 44, 106, 0x60, IAC, SE})}},
        {.what = "a break in the line state remembered; other commands skipped",
         .pieces = {B({IAC, SB, 44, 106, 0x70, IAC, SE, IAC, 241, 0x33})},
         .data = B({0x33}),
         .broke = true},
        {"other options' subnegotiations and the client's own codes change nothing",
         {B({IAC, SB, 24, 1, IAC, SE, IAC, SB, 44, 1, 0, 0, 0x4B, 0, IAC, SE})}},
        {.what = "data the server sent before it acknowledged the purges dropped, what follows kept",
         .pieces = {B({0x01, IAC, IAC, IAC, SB, 44, 112, 1, IAC, SE, 0x02, IAC, SB, 44, 112, 1}),
                    B({IAC, SE, 0x03})},
         .data = B({0x03}),
         .purges = 2},
        {"an acknowledgement of no purge changes nothing",
         {B({IAC, SB, 44, 112, 1, IAC, SE, 0x04})},
         B({0x04})},
    };
    for (const Case& c : cases) {
        Rfc2217Codec codec;
        codec.Start();
        for (int i = 0; i < c.purges; ++i) codec.PurgeReceived();
        std::string data, replies;
        for (const std::string& piece : c.pieces) {
            codec.Feed(piece, data);
            replies += codec.TakeReplies();
        }
        EXPECT_EQ(data, c.data) << c.what;
        EXPECT_EQ(replies, c.replies) << c.what;
        EXPECT_EQ(codec.ComPort(), c.comPort) << c.what;
        EXPECT_EQ(codec.AcknowledgedRate(), c.rate) << c.what;
        EXPECT_EQ(codec.LineBroke(), c.broke) << c.what;
        EXPECT_EQ(codec.PurgesOwed(), 0) << c.what;
    }
}

}  // namespace
}  // namespace kx6000
