// "demo": lists the module's filters as the filter mapper registered them,
// then creates each one by CLSID and adds it to a real filter graph.
#pragma once

int RunDemoCommand(int argc, char** argv);
