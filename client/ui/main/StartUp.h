#pragma once
// What the client program sets up before its first window: the drawing
// library's controls are registered so that forms can create them by name.
void ClientStartUp();
