#pragma once
// Resource id of the embedded driver image (RCDATA); shared by C++ and the resource compiler.
#define IDR_DRIVER_IMAGE 201
