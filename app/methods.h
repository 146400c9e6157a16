// The table of methods: the option letter, the usage line and the run
// function of every method. main and the usage text are driven by it, so a
// new method is one folder and one row.
#pragma once

#include <span>
#include <string>

struct Method {
  char letter;
  const char* usageLine;  // null: a tool left out of the usage text
  int (*run)(const std::string& inputName);
};

std::span<const Method> methods();
// Null when no method has the letter.
const Method* findMethod(char letter);
// The usage text on standard output.
void printUsage();
