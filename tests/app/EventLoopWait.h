#pragma once
#include <functional>

// Runs the event loop until predicate holds or timeoutMs passes; returns the predicate's value.
bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs = 20000);
