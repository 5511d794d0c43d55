// ParamCheck_DataIN / ParamCheck_DataOUT: the argument checks shared by the
// typed commands. Unlike the frame they refuse a zero length and a missing
// data buffer always.
#include "tavpas_internal.h"

namespace {

// 0 when usable, else the detail code (4 and 5 are only logged).
uint8_t detailOf(const PassThroughInfo *info, const uint8_t *data, bool lengthGiven, const uint8_t *result,
                 const uint32_t *resultLength)
{
    if (result == nullptr) {
        return TAVPAS_DETAIL_RESULT;
    }
    if (info == nullptr) {
        return TAVPAS_DETAIL_INFO;
    }
    if (data == nullptr) {
        return TAVPAS_DETAIL_DATA;
    }
    if (!lengthGiven) {
        return TAVPAS_DETAIL_LENGTH;
    }
    if (resultLength == nullptr || *resultLength == 0) {
        return TAVPAS_DETAIL_RESULT_LENGTH;
    }
    return 0;
}

int report(const char *name, uint8_t detail, uint8_t *result, uint32_t *resultLength, unsigned line)
{
    if (detail == 0) {
        return 1;
    }
    TavPasTraceCall(SRC_ANYCOMMAND, line, name);
    TavPasRefuseParam(SRC_ANYCOMMAND, line, detail, result, resultLength);
    return 0;
}

}  // namespace

TAVPTH_API int ParamCheck_DataIN(PassThroughInfo *info, uint8_t *data, uint32_t *length, uint8_t *result,
                                 uint32_t *resultLength)
{
    bool lengthGiven = length != nullptr && *length != 0;
    return report("ParamCheck_DataIN", detailOf(info, data, lengthGiven, result, resultLength), result, resultLength,
                  __LINE__);
}

TAVPTH_API int ParamCheck_DataOUT(PassThroughInfo *info, uint8_t *data, uint32_t length, uint8_t *result,
                                  uint32_t *resultLength)
{
    return report("ParamCheck_DataOUT", detailOf(info, data, length != 0, result, resultLength), result, resultLength,
                  __LINE__);
}
