#pragma once
// A file system without nameless files, for tests: while one of these lives, every open() of
// this test program that asks for O_TMPFILE fails with the given error, as on a file system
// that does not know the flag; every other open() goes to the kernel.

class TRefusedTmpFile
{
public:
    explicit TRefusedTmpFile(int error);
    ~TRefusedTmpFile();
    TRefusedTmpFile(const TRefusedTmpFile&) = delete;
    TRefusedTmpFile& operator=(const TRefusedTmpFile&) = delete;
};
