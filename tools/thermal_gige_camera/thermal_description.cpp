#include "thermal_description.h"

namespace calidra::thermalcamera {

namespace {

const char* const kThermalFeatures = R"(
	<!-- Thermal control, added by the thermal test camera -->

	<Category Name="ThermalControl" NameSpace="Custom">
		<pFeature>IRFormat</pFeature>
		<pFeature>NUCAction</pFeature>
	</Category>

	<Enumeration Name="IRFormat" NameSpace="Custom">
		<DisplayName>IR Format</DisplayName>
		<Description>Mono16 counts in kelvin x 100 or kelvin x 10.</Description>
		<EnumEntry Name="TemperatureLinear10mK" NameSpace="Custom">
			<Value>1</Value>
		</EnumEntry>
		<EnumEntry Name="TemperatureLinear100mK" NameSpace="Custom">
			<Value>2</Value>
		</EnumEntry>
		<pValue>IRFormatRegister</pValue>
	</Enumeration>

	<IntReg Name="IRFormatRegister" NameSpace="Custom">
		<Address>0xa000</Address>
		<Length>4</Length>
		<AccessMode>RW</AccessMode>
		<pPort>Device</pPort>
		<Sign>Unsigned</Sign>
		<Endianess>BigEndian</Endianess>
	</IntReg>

	<Command Name="NUCAction" NameSpace="Custom">
		<Description>Non-uniformity correction: the shutter closes for half a second.</Description>
		<pValue>NUCActionRegister</pValue>
		<CommandValue>1</CommandValue>
	</Command>

	<IntReg Name="NUCActionRegister" NameSpace="Custom">
		<Address>0xa004</Address>
		<Length>4</Length>
		<AccessMode>RW</AccessMode>
		<pPort>Device</pPort>
		<Sign>Unsigned</Sign>
		<Endianess>BigEndian</Endianess>
	</IntReg>

)";

} // namespace

std::string thermalDescription(const std::string& fakeCameraDescription) {
    std::string description = fakeCameraDescription;
    const std::size_t root = description.find("<Category Name=\"Root\"");
    const std::size_t rootEnd = root == std::string::npos ? root : description.find("</Category>", root);
    if (rootEnd == std::string::npos) {
        return {};
    }
    description.insert(rootEnd, "\t<pFeature>ThermalControl</pFeature>\n\t");
    const std::size_t end = description.rfind("</RegisterDescription>");
    if (end == std::string::npos) {
        return {};
    }
    description.insert(end, kThermalFeatures);
    return description;
}

} // namespace calidra::thermalcamera
