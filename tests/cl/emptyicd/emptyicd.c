/* An OpenCL driver with one platform and no device, loaded through the ICD loader by the
 * device-choice test: machines may list such a platform before the one that has a device. */
#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl_icd.h>
#include <string.h>

struct _cl_platform_id {
    cl_icd_dispatch* dispatch;
};

static cl_int platforminfo(cl_platform_id platform, cl_platform_info name, size_t size, void* value,
                          size_t* returned) {
    const char* text = NULL;
    (void)platform;
    switch (name) {
    case CL_PLATFORM_ICD_SUFFIX_KHR: text = "Empty"; break;
    case CL_PLATFORM_NAME: text = "No devices"; break;
    case CL_PLATFORM_VENDOR: text = "Talvo tests"; break;
    case CL_PLATFORM_VERSION: text = "OpenCL 1.2 empty"; break;
    case CL_PLATFORM_PROFILE: text = "FULL_PROFILE"; break;
    case CL_PLATFORM_EXTENSIONS: text = "cl_khr_icd"; break;
    default: return CL_INVALID_VALUE;
    }
    if (returned) *returned = strlen(text) + 1;
    if (value) {
        if (size < strlen(text) + 1) return CL_INVALID_VALUE;
        memcpy(value, text, strlen(text) + 1);
    }
    return CL_SUCCESS;
}

/* Exported as well: the loader asks it whether the driver is an ICD at all. The dispatch table
 * takes the static one, since the exported name resolves to the loader's own function. */
cl_int clGetPlatformInfo(cl_platform_id platform, cl_platform_info name, size_t size, void* value,
                         size_t* returned) {
    return platforminfo(platform, name, size, value, returned);
}

static cl_int getdeviceids(cl_platform_id platform, cl_device_type type, cl_uint entries, cl_device_id* devices,
                           cl_uint* count) {
    (void)platform, (void)type, (void)entries, (void)devices;
    if (count) *count = 0;
    return CL_DEVICE_NOT_FOUND;
}

static cl_icd_dispatch dispatch;
static struct _cl_platform_id theplatform = {&dispatch};

cl_int clIcdGetPlatformIDsKHR(cl_uint entries, cl_platform_id* platforms, cl_uint* count) {
    dispatch.clGetPlatformInfo = platforminfo;
    dispatch.clGetDeviceIDs = getdeviceids;
    if (count) *count = 1;
    if (platforms && entries > 0) platforms[0] = &theplatform;
    return CL_SUCCESS;
}

void* clGetExtensionFunctionAddress(const char* name) {
    return strcmp(name, "clIcdGetPlatformIDsKHR") == 0 ? (void*)clIcdGetPlatformIDsKHR : NULL;
}
