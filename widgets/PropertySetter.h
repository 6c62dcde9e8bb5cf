#pragma once
// The controls' setters compare, store, then repaint or notify only for a real change.

// Stores value in field; whether that changed it.
template <class T, class U> bool ChangeProperty(T& field, const U& value)
{
    if (field == value) return false;
    field = value;
    return true;
}
