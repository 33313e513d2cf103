// The requests a ghost sends most: speak a short Shift_JIS text at speed 120,
// and ask for the version.
#pragma once

inline constexpr char typical_request[] =
    "EXECUTE SAORI/1.0\r\n"
    "SecurityLevel: Local\r\n"
    "Argument0: PLAYSYNC\r\n"
    "Argument1: \x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\r\n"
    "Argument2: 120\r\n"
    "\r\n";

inline constexpr char version_request[] =
    "GET Version SAORI/1.0\r\n"
    "Charset: Shift_JIS\r\n"
    "Sender: bench\r\n"
    "\r\n";
