#include "model/ObjectNames.h"

#include "model/ModelStrings.h"
#include "model/ObjectKind.h"
#include "platform/Format.h"

namespace zepho {

std::string NextDefaultName(int kind, int (&counters)[CounterCount]) {
    const char* fmt = nullptr;
    NameCounter counter;
    switch (kind) {
    case KindImage:
    case KindTransformedImage:
        fmt = strings::kNameImage;
        counter = CounterImage;
        break;
    case KindRectangle:
        fmt = strings::kNameRectangle;
        counter = CounterRectangle;
        break;
    case KindEllipse:
        fmt = strings::kNameEllipse;
        counter = CounterEllipse;
        break;
    case KindPolygon:
        fmt = strings::kNamePolygon;
        counter = CounterPolygon;
        break;
    case KindText:
        fmt = strings::kNameText;
        counter = CounterText;
        break;
    default:
        return {};
    }
    return Format(fmt, counters[counter]++);
}

} // namespace zepho
