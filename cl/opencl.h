#pragma once
// The OpenCL headers as the compute layer uses them: the 1.2 interface (one in-order queue
// made with clCreateCommandQueue) and the GL sharing declarations.
#ifndef CL_TARGET_OPENCL_VERSION
#define CL_TARGET_OPENCL_VERSION 120
#endif
#include <CL/cl.h>
#include <CL/cl_gl.h>
