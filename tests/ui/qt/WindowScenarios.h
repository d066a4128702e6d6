// The radios the window tests talk to (kept apart: Qt's moc cannot read raw strings).
#pragma once

namespace {

// Six configurations, one per flash block, so erasing one leaves the others.
const char* const kSixConfigurations = R"({"configurations": [
    {"productId": "ZMA1B_01.00", "address": "0x00100", "status": 0},
    {"productId": "zma1g_fpga", "address": "0x10100", "status": 2},
    {"productId": "KXA61_HW01", "address": "0x20100", "status": 1},
    {"productId": "ZMA1F_01.02", "address": "0x30100", "status": 1},
    {"productId": "KXA61_HW02", "address": "0x40100", "status": 7},
    {"productId": "KXC", "address": "0x50100", "status": 0}]})";

const char* const kKX6200 = R"({"model": 6200, "configurations": [
    {"productId": "ZMA2F_02.01", "address": "0x00100", "status": 0},
    {"productId": "KXA62_HW", "address": "0x10100", "status": 0}],
  "devices": [
    {"networkId": 1, "deviceId": 2, "flash": [{"start": 0, "length": "0x8000"}],
     "configurations": [{"productId": "KXD62_UNIT", "address": "0x100", "status": 0}]},
    {"networkId": 26, "deviceId": 5, "flash": [{"start": 0, "length": "0x8000"}],
     "configurations": [{"productId": "KXD62_OTHER", "address": "0x100", "status": 1}]}]})";

const char* const kSpecialMode = R"({"model": 6200, "specialMode": true})";

}  // namespace
