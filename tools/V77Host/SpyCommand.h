#pragma once

// "spy WINDOW": a window's contents captured by the window spy and shown live.
int RunSpyCommand(int argc, char** argv);
