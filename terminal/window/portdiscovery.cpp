#include "portdiscovery.h"

#include "portnames.h"

#include <QRegularExpression>

namespace duoterm {

bool IsSelectablePortName(const QString& text)
{
    static const QRegularExpression name(QStringLiteral("^COM([1-9]|1[0-9]|2[0-5])$"));
    return name.match(text).hasMatch();
}

PortChoice ChoosePorts(const std::vector<std::string>& systemNames)
{
    PortChoice choice;
    if (systemNames.size() < 2)
        return choice;
    for (const std::string& name : systemNames) {
        const QString text = QString::fromStdString(name);
        if (IsSelectablePortName(text) && !choice.items.contains(text))
            choice.items << text;
    }
    if (choice.items.size() > 0)
        choice.port1 = choice.items[0];
    if (choice.items.size() > 1)
        choice.port2 = choice.items[1];
    return choice;
}

std::vector<std::string> SystemPortNames()
{
    std::vector<std::string> names;
    for (const auto& [name, device] : platform::ComPortTable())
        names.push_back(name);
    return names;
}

}  // namespace duoterm
