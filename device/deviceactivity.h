#pragma once

// What a device's link has done since it was last asked, as the info bar
// tells it.
enum class LinkEvent { TryToConnect, Connecting, Connected, Disconnected, Ready, Warming, Transmitting };

// The live state of a device's link and the device, as the devices table
// shows it; Unknown for a state that has no word.
enum class DeviceActivity { Disconnected, Connecting, Ready, Warming, Transmitting, Stopping, Disconnecting, Unknown };
