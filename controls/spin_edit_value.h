// Value arithmetic of the spin edit (SpinEditFoloat): bounding a value and the text it shows.
// Free of the UI library so it can be tested directly. Pure; any thread.

#pragma once

#include <cstdint>
#include <string>

namespace tavio_ui {

// v capped at maximum, then raised to minimum: with minimum > maximum the result is minimum.
// Takes 64 bits so that a step past INT_MAX or INT_MIN lands on the bound instead of wrapping.
int BoundSpinValue(std::int64_t v, int minimum, int maximum);

// With tenths, v counts milliseconds and reads as seconds with one decimal, the hundredths
// dropped ("59.9" for 59999, "00.1" for 100); otherwise v reads as a whole number of at least
// two digits ("05", "123").
std::wstring FormatSpinValue(int v, bool showTenths);

}  // namespace tavio_ui
