// UZD6ConfObject: TZD6ConfObj, the read-only description of one USB
// cardiomodule: converter serial number, program version and mode text as
// the queries returned them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class TZD6ConfObj {
public:
    TZD6ConfObj(std::wstring serial, std::int32_t vprogram, std::wstring mode)
        : FProgram(vprogram), FMode(std::move(mode)), FSerial(std::move(serial)) {}

    const std::wstring& FTSerial() const { return FSerial; }
    std::int32_t CMProgVer() const { return FProgram; }
    const std::wstring& CMMode() const { return FMode; }

private:
    std::int32_t FProgram;
    std::wstring FMode;
    std::wstring FSerial;
};

using TZD6Dictionary = std::map<std::wstring, std::shared_ptr<TZD6ConfObj>>;

class TCardioQueries;

// Lists the USB cardiomodules and describes each one: fills serials (replaced
// first; left empty when listing fails) and info (emptied, then one record per
// serial number).  A serial number met twice raises EFrameworkError
// "Duplicates not allowed" and keeps the records added before it.
void ReadZD6Records(TCardioQueries& queries, std::vector<std::wstring>& serials, TZD6Dictionary& info);
// The second half of the above: empties info and adds one record per serial
// number, asking each device for its program version, then its mode.
void DescribeZD6Records(TCardioQueries& queries, const std::vector<std::wstring>& serials, TZD6Dictionary& info);
