#pragma once

// "view SOURCE": a live source shown in a window.
int RunViewCommand(int argc, char** argv);
