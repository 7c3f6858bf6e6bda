#pragma once

// "record SOURCE STORE": a live source viewed and recorded into a store in segments.
int RunRecordCommand(int argc, char** argv);
