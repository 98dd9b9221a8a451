// Where a task or a timer was set up: kept for diagnostics only, it never changes behaviour.
//
// A Location is a small value; copy it freely between threads. The strings it points to must
// outlive it (FROM_HERE uses string literals).
#pragma once

namespace base {

class Location {
 public:
  Location() = default;
  Location(const char* function, const char* file, int line, const void* programCounter)
      : function_(function), file_(file), line_(line), programCounter_(programCounter) {}

  const char* function_name() const { return function_; }
  const char* file_name() const { return file_; }
  int line_number() const { return line_; }
  const void* program_counter() const { return programCounter_; }

 private:
  const char* function_ = "unknown";
  const char* file_ = "unknown";
  int line_ = -1;
  const void* programCounter_ = nullptr;
};

// The address just after the call of this function: a code address inside the caller.
const void* GetProgramCounter();

}  // namespace base

// The site of the posting call itself.
#define FROM_HERE ::base::Location(__func__, __FILE__, __LINE__, ::base::GetProgramCounter())
