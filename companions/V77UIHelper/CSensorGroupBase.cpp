#include "companions/V77UIHelper/CSensorGroupBase.h"

#include "companions/V77Global/V77ErrorBoundary.h"
#include "companions/V77UIHelper/CSensorGroupElement.h"

namespace {

CSensorGroupElement ReadOrThrow(IXMLDOMElement* element)
{
    CSensorGroupElement group;
    std::string reason;
    if (!CSensorGroupElement::Read(element, &group, &reason))
        V77_THROW_APP(("sensor group: " + reason).c_str());
    return group;
}

}  // namespace

CSensorGroupBase::CSensorGroupBase(IXMLDOMElement* element) : CSensorGroupBase(ReadOrThrow(element))
{
}

CSensorGroupBase::CSensorGroupBase(CSensorGroupElement&& group)
    : CPlaneBase(group.width, group.height, group.color),
      m_Region(std::move(group.region)),
      m_Name(std::move(group.name)),
      m_Low(group.low),
      m_High(group.high)
{
}
