// Names the cases of a parameterised test after their parameter as its PrintTo prints it, so CTest
// lists "Sources/WavRingTest.HoldsTheProcessedSamples/16bit_2ch_to_1ch_vol15000_in100_out150" and
// a failure says which case it is about:
//   INSTANTIATE_TEST_SUITE_P(Sources, WavRingTest, ::testing::Values(...),
//                            testsupport::PrintedParamName());
// What a test name cannot hold becomes '_', a minus sign "minus" and a plus sign "plus".
#pragma once

#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

inline std::string ParamNameOf(const std::string& printed) {
  std::string name;
  auto separate = [&name] {
    if (!name.empty() && name.back() != '_') name += '_';
  };
  for (char c : printed) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      name += c;
    } else if (c == '-') {
      separate();
      name += "minus";
    } else if (c == '+') {
      separate();
      name += "plus_";
    } else {
      separate();
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "empty" : name;
}

struct PrintedParamName {
  template <class T>
  std::string operator()(const ::testing::TestParamInfo<T>& info) const {
    return ParamNameOf(::testing::PrintToString(info.param));
  }
};

}  // namespace testsupport
