// Without FTD2XX.DLL the program runs; the wrapper names the library and the
// queries report their failure values.
#include <gtest/gtest.h>

#include "WinHost.h"
#include "common/Errors.h"
#include "device/D2XXUnit.h"

TEST(NoDriverLibrary, WrapperRaisesNamingLibrary)
{
    try {
        D2XXUnit().GetFTDeviceCount();
        FAIL() << "no error";
    } catch (const EFrameworkError& e) {
        EXPECT_NE(e.Message().find(L"FTD2XX.DLL"), std::wstring::npos);
    }
}

TEST(NoDriverLibrary, QueriesFail)
{
    TWinHost host;
    std::wstring mode = L"sentinel";
    std::int32_t prog = 7;
    TCardioQueries q(host, D2XXUnit(), TCardioCaches{mode, prog});
    EXPECT_EQ(q.GetFTMode(0, true), L"");
    EXPECT_EQ(mode, L"");
    EXPECT_EQ(q.GetFTProgram(0, true), -1);
    EXPECT_EQ(prog, -1);
    EXPECT_THROW(q.GetCMCount(), EFrameworkError);
    EXPECT_THROW(q.GetFTSerialNumber(), EFrameworkError);
}

TEST(SerialPort, MissingPortFails)
{
    TWinHost host;
    host.Ints[L"Options/cardiomodule"] = 4;
    host.Ints[L"regoptions/stmcomPort"] = 9;  // never mapped in the test prefix
    std::wstring mode = L"sentinel";
    std::int32_t prog = 7;
    TCardioQueries q(host, D2XXUnit(), TCardioCaches{mode, prog});
    EXPECT_EQ(q.GetSTMMode(0, true), L"");
    EXPECT_EQ(mode, L"");
    EXPECT_EQ(q.GetSTMProgram(0, true), -1);
    EXPECT_EQ(prog, 7);
    try {
        OpenSerialPort(L"\\\\.\\COM9");
        FAIL();
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), L"cannot open comm port \\\\.\\COM9: ");
    }
}
