#pragma once
// Why a port would not open, in words a technician can act on, translated through the
// catalogues: the second line of every front end's open failure.

#include <span>
#include <string>

std::string OpenFailureReason(const std::string& path, int error);

// The catalogue texts the reasons are made of, so that a test can find each in every catalogue.
std::span<const char* const> OpenFailureReasonTexts();
