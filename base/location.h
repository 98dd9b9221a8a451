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
      : function(function), file(file), line(line), programCounter(programCounter) {}

  const char* function_name() const { return function; }
  const char* file_name() const { return file; }
  int line_number() const { return line; }
  const void* program_counter() const { return programCounter; }

 private:
  const char* function = "unknown";
  const char* file = "unknown";
  int line = -1;
  const void* programCounter = nullptr;
};

// The address just after the call of this function: a code address inside the caller.
const void* GetProgramCounter();

}  // namespace base

// The site of the posting call itself.
#define FROM_HERE ::base::Location(__func__, __FILE__, __LINE__, ::base::GetProgramCounter())
