#pragma once

// "snapshot SOURCE OUT.jpg": one JPEG of a live source through the JPEG renderer.
int RunSnapshotCommand(int argc, char** argv);
