#pragma once
// A window of our own class whose messages reach a C++ object: the form and the drawn controls
// (lamp, gauge, terminal) derive from it and handle what they draw or take.

#include <windows.h>

class TWin32Window
{
public:
    TWin32Window() = default;
    virtual ~TWin32Window(); // destroys the window if it still exists
    TWin32Window(const TWin32Window&) = delete;
    TWin32Window& operator=(const TWin32Window&) = delete;

    HWND Handle() const { return fWindow; }

protected:
    // Registers className once per process (with the arrow cursor and no background brush unless
    // given) and creates the window; throws std::system_error.
    void CreateOwnWindow(const wchar_t* className, DWORD exStyle, DWORD style, const wchar_t* title,
                         RECT place, HWND parent, int id, HBRUSH background = nullptr);
    virtual LRESULT HandleMessage(UINT message, WPARAM w, LPARAM l);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);

    HWND fWindow = nullptr;
};

// An owner of a GDI object (pen, brush, font, bitmap): deleted once, when it goes.
class TGdiObject
{
public:
    explicit TGdiObject(HGDIOBJ object = nullptr) : fObject(object) {}
    ~TGdiObject()
    {
        if (fObject != nullptr) ::DeleteObject(fObject);
    }
    TGdiObject(TGdiObject&& other) noexcept : fObject(other.fObject) { other.fObject = nullptr; }
    TGdiObject& operator=(TGdiObject&& other) noexcept
    {
        if (this != &other) {
            if (fObject != nullptr) ::DeleteObject(fObject);
            fObject = other.fObject;
            other.fObject = nullptr;
        }
        return *this;
    }
    HGDIOBJ Get() const { return fObject; }

private:
    HGDIOBJ fObject;
};

// Selects an object into a device context for a scope and puts the previous one back.
class TSelected
{
public:
    TSelected(HDC dc, HGDIOBJ object) : fDc(dc), fPrevious(::SelectObject(dc, object)) {}
    ~TSelected() { ::SelectObject(fDc, fPrevious); }
    TSelected(const TSelected&) = delete;
    TSelected& operator=(const TSelected&) = delete;

private:
    HDC fDc;
    HGDIOBJ fPrevious;
};

// A memory device context with a bitmap of the given size selected: an off-screen picture.
class TOffScreen
{
public:
    TOffScreen(HDC like, int width, int height);
    ~TOffScreen();
    TOffScreen(const TOffScreen&) = delete;
    TOffScreen& operator=(const TOffScreen&) = delete;
    HDC Dc() const { return fDc; }

private:
    HDC fDc;
    TGdiObject fBitmap;
    HGDIOBJ fPrevious;
};
