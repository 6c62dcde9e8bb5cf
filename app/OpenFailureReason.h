#pragma once
// The second line of the box for a port that would not open: why, in words a technician can act
// on, translated like the window's other toolkit texts.

#include <QString>

#include <string>

QString OpenFailureReason(const std::string& path, int error);
