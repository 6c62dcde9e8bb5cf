#pragma once
// Fixture that collects what reaches the central error report instead of showing the modal box,
// and puts the previous sink back afterwards.

#include "app/TErrorReport.h"

#include <QStringList>
#include <gtest/gtest.h>

class ErrorReportCapture : public testing::Test
{
protected:
    void SetUp() override
    {
        fPrevious = TErrorReport::SetSink([this](const QString& text) { fReports << text; });
    }
    void TearDown() override { TErrorReport::SetSink(fPrevious); }

    QStringList fReports;
    TErrorReport::TSink fPrevious;
};
