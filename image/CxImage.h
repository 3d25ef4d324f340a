#pragma once

#include "platform/Export.h"
#include "platform/WinRegion.h"
#include "platform/WinTypes.h"

#include <cstddef>
#include <cstdint>

// An in-memory device-independent bitmap of 1, 4, 8 or 24 bits per pixel with
// an optional palette, alpha plane and selection plane, plus the attribute
// block that travels with it. Rows are stored bottom-up (row 0 is the bottom
// row of the picture), each padded to a multiple of 4 bytes.
//
// Failures are reported by results (false or null), never by exceptions.
class UEYE_EXPORT CxImage {
public:
    // Three bytes in the order red, green, blue.
    struct rgb_color {
        uint8_t r, g, b;
    };

    // How a sampler answers for points outside the image. Any other value
    // behaves as OM_COLOR.
    enum OverflowMethod : int32_t {
        OM_COLOR = 1,
        OM_BACKGROUND = 2,
        OM_TRANSPARENT = 3,
        OM_WRAP = 4,
        OM_REPEAT = 5,
        OM_MIRROR = 6
    };

    // Interpolation methods of the point sampler. Any other value behaves as
    // IM_BILINEAR.
    enum InterpolationMethod : int32_t {
        IM_NEAREST_NEIGHBOUR = 1,
        IM_BILINEAR = 2,
        IM_BSPLINE = 3,
        IM_BICUBIC = 4,
        IM_BICUBIC2 = 5,
        IM_LANCZOS = 6,
        IM_BOX = 7,
        IM_HERMITE = 8,
        IM_HAMMING = 9,
        IM_SINC = 10,
        IM_BLACKMAN = 11,
        IM_BESSEL = 12,
        IM_GAUSSIAN = 13,
        IM_QUADRATIC = 14,
        IM_MITCHELL = 15,
        IM_CATROM = 16
    };

    // The attribute block, copied as one unit by CopyInfo, Transfer, Ghost
    // and Copy.
    struct Info {
        uint32_t effWidth;        // bytes per stored row
        uint8_t* firstRow;        // row 0 inside the pixel buffer
        CxImage* ghostOwner;      // owner of the borrowed buffers, null when owning
        uint32_t imageType;       // stored only; default codec option index
        char lastError[256];      // written by failing operations only
        int32_t progress;         // advanced by long operations
        int32_t escape;           // non-zero stops long operations
        int32_t transIndex;       // transparent palette index, -1 for none
        RGBQUAD transColor;       // transparent colour
        uint8_t jpegQuality;      //
        uint8_t jpegScale;        //
        int32_t frame;            // frame number
        int32_t numFrames;        //
        uint32_t frameDelay;      //
        int32_t xDpi;             // horizontal resolution, dots per inch
        int32_t yDpi;             // vertical resolution, dots per inch
        RECT selectionBox;        // stored coordinates, right and top exclusive
        uint8_t alphaMax;         // scale applied when alpha is flattened
        bool alphaPaletteEnabled; //
        bool enabled;             //
        int32_t xOffset;          //
        int32_t yOffset;          //
        uint32_t codecOptions[16];
        RGBQUAD nearestColor; // last colour looked up by GetNearestIndex
        uint8_t nearestIndex; // the index found for it
        bool nearestValid;    // the cache holds a valid answer
        uint32_t flags;
    };

    // ---- lifecycle ----
    explicit CxImage(unsigned long type = 0);
    CxImage(unsigned long width, unsigned long height, unsigned long bpp, unsigned long type = 0);
    CxImage(const CxImage& source, bool copypixels = true, bool copyselection = true,
            bool copyalpha = true);
    CxImage& operator=(const CxImage& source);
    virtual ~CxImage();

    void* Create(unsigned long width, unsigned long height, unsigned long bpp,
                 unsigned long type = 0);
    bool Destroy();
    void Copy(const CxImage& source, bool copypixels = true, bool copyselection = true,
              bool copyalpha = true);
    bool Transfer(CxImage& from);
    uint8_t* GetBits(unsigned long row = 0);
    long GetSize();
    bool IsInside(long x, long y);
    void Clear(unsigned char value = 0);
    void FreeMemory(void* memblock);

    // Process-wide number of threads the image library may spread the rows of
    // a large operation over; 1 (the default) keeps every operation on the
    // calling thread, and values below 1 mean 1. Results are the same bits at
    // every count.
    static void SetThreadCount(int n);
    static int GetThreadCount();
    // The instruction-set level of the vector kernels in use: "none",
    // "sse2", "avx2" or "avx512". The highest the processor and the operating
    // system support, capped by the environment variable UEYE_IMAGE_SIMD
    // (read once, at the first operation). Results are the same bits at
    // every level.
    static const char* GetSimdLevel();

    // ---- import from raw buffers ----
    bool CreateFromArray(unsigned char* source, unsigned long width, unsigned long height,
                         unsigned long bpp, unsigned long lineLength, bool flip);
    bool CreateFromMatrix(unsigned char** rows, unsigned long width, unsigned long height,
                          unsigned long bpp, unsigned long lineLength, bool flip);

    // ---- attributes ----
    unsigned long GetWidth() const;
    unsigned long GetHeight() const;
    unsigned short GetBpp() const;
    unsigned long GetNumColors() const;
    unsigned long GetEffWidth() const;
    unsigned long GetType() const;
    void* GetDIB() const;
    bool IsValid() const;
    bool IsIndexed() const;
    bool IsTransparent() const;
    unsigned char GetColorType();
    long GetTransIndex() const;
    void SetTransIndex(long index);
    RGBQUAD GetTransColor();
    void SetTransColor(RGBQUAD colour);
    long GetXDPI() const;
    long GetYDPI() const;
    void SetXDPI(long dpi);
    void SetYDPI(long dpi);
    unsigned long GetFlags() const;
    void SetFlags(unsigned long flags, bool lowHalfOnly = true);
    unsigned long GetFrameDelay() const;
    void SetFrameDelay(unsigned long delay);
    void GetOffset(long* x, long* y);
    void SetOffset(long x, long y);
    unsigned char GetJpegQuality() const;
    void SetJpegQuality(unsigned char quality);
    unsigned char GetJpegScale() const;
    void SetJpegScale(unsigned char scale);
    long GetProgress() const;
    void SetProgress(long progress);
    long GetEscape() const;
    void SetEscape(long escape);
    bool IsEnabled() const;
    void Enable(bool enable = true);
    long GetNumFrames() const;
    long GetFrame() const;
    void SetFrame(long frame);
    unsigned long GetClrImportant() const;
    void SetClrImportant(unsigned long count);
    unsigned long GetCodecOption(unsigned long index = 0);
    bool SetCodecOption(unsigned long value, unsigned long index = 0);
    const char* GetLastError();
    const char* GetVersion();
    float GetVersionNumber();

    // ---- pixel access and drawing ----
    unsigned char GetPixelIndex(long x, long y);
    RGBQUAD GetPixelColor(long x, long y, bool getalpha = true);
    unsigned char GetPixelGray(long x, long y);
    void SetPixelIndex(long x, long y, unsigned char index);
    void SetPixelColor(long x, long y, RGBQUAD colour, bool setalpha = false);
    void SetPixelColor(long x, long y, unsigned long colour);
    void BlendPixelColor(long x, long y, RGBQUAD colour, float blend, bool setalpha = false);
    bool IsTransparent(long x, long y);
    void DrawLine(int startX, int endX, int startY, int endY, RGBQUAD colour,
                  bool setalpha = false);
    void DrawLine(int startX, int endX, int startY, int endY, unsigned long colour);

    // ---- palette ----
    unsigned long GetPaletteSize();
    RGBQUAD* GetPalette() const;
    RGBQUAD GetPaletteColor(unsigned char index);
    bool GetPaletteColor(unsigned char index, unsigned char* red, unsigned char* green,
                         unsigned char* blue);
    void SetPaletteColor(unsigned char index, unsigned char red, unsigned char green,
                         unsigned char blue, unsigned char alpha = 0);
    void SetPaletteColor(unsigned char index, RGBQUAD colour);
    void SetPaletteColor(unsigned char index, unsigned long colour);
    void SetPalette(unsigned long count, unsigned char* red, unsigned char* green,
                    unsigned char* blue);
    void SetPalette(rgb_color* colours, unsigned long count = 256);
    void SetPalette(RGBQUAD* palette, unsigned long count = 256);
    void SetGrayPalette();
    void SetStdPalette();
    void BlendPalette(unsigned long colour, long percent);
    bool IsGrayScale();
    void SwapIndex(unsigned char index1, unsigned char index2);
    bool IsSamePalette(CxImage& other, bool checkAlpha = true);
    unsigned char GetNearestIndex(RGBQUAD colour);
    static RGBQUAD RGBtoRGBQUAD(unsigned long colour);
    static unsigned long RGBQUADtoRGB(RGBQUAD colour);

    // ---- alpha plane ----
    bool AlphaIsValid();
    void AlphaCreate();
    void AlphaDelete();
    void AlphaClear();
    void AlphaSet(unsigned char level);
    void AlphaInvert();
    unsigned char AlphaGet(long x, long y);
    void AlphaSet(long x, long y, unsigned char level);
    unsigned char* AlphaGetPointer(long x = 0, long y = 0);
    unsigned char AlphaGetMax() const;
    void AlphaSetMax(unsigned char maximum);
    void AlphaPaletteEnable(bool enable = true);
    bool AlphaPaletteIsEnabled() const;
    bool AlphaPaletteIsValid();
    void AlphaPaletteClear();
    bool AlphaCopy(CxImage& from);
    bool AlphaSet(CxImage& from);
    bool AlphaFlip();
    bool AlphaMirror();
    bool AlphaSplit(CxImage* destination);
    bool AlphaPaletteSplit(CxImage* destination);
    void AlphaStrip();

    // ---- selection plane ----
    bool SelectionCreate();
    bool SelectionDelete();
    bool SelectionClear();
    bool SelectionIsValid();
    bool SelectionIsInside(long x, long y);
    void SelectionGetBox(RECT& box);
    bool SelectionInvert();
    bool SelectionCopy(CxImage& from);
    bool SelectionSplit(CxImage* destination);
    bool SelectionToHRGN(HRGN& region);
    bool SelectionAddRect(RECT rect);
    bool SelectionAddEllipse(RECT rect);
    bool SelectionAddPolygon(POINT* points, long count);
    bool SelectionAddColor(RGBQUAD colour);
    bool SelectionAddPixel(int x, int y);

    // ---- orientation and tone ----
    bool GrayScale();
    bool Flip();
    bool Mirror();
    bool RotateLeft(CxImage* destination = nullptr);
    bool RotateRight(CxImage* destination = nullptr);
    bool Rotate180(CxImage* destination = nullptr);
    bool Negative();

    // ---- crop and expand ----
    bool Crop(long left, long top, long right, long bottom, CxImage* destination = nullptr);
    bool Crop(const RECT& rect, CxImage* destination = nullptr);
    bool Expand(long left, long top, long right, long bottom, RGBQUAD canvasColour,
                CxImage* destination = nullptr);
    bool Expand(long newWidth, long newHeight, RGBQUAD canvasColour,
                CxImage* destination = nullptr);
    bool Thumbnail(long boxWidth, long boxHeight, RGBQUAD canvasColour,
                   CxImage* destination = nullptr);

    // ---- resize ----
    bool Resample(long newWidth, long newHeight, int mode = 1, CxImage* destination = nullptr);
    bool QIShrink(long newWidth, long newHeight, CxImage* destination = nullptr);

    // ---- free rotation and warps ----
    bool Rotate(float angle, CxImage* destination = nullptr);
    bool Skew(float xgain, float ygain, long xpivot = 0, long ypivot = 0, bool interpolate = false);
    bool CircleTransform(int type, long radius = 0, float coefficient = 1.0f);

    // ---- bit depth and dithering ----
    bool DecreaseBpp(unsigned long bpp, bool errorDiffusion, RGBQUAD* palette = nullptr,
                     unsigned long clrImportant = 0);
    bool IncreaseBpp(unsigned long bpp);
    bool Dither(long method = 0);

    // ---- coordinate overflow ----
    void OverflowCoordinates(long& x, long& y, OverflowMethod method);
    void OverflowCoordinates(float& x, float& y, OverflowMethod method);
    RGBQUAD GetPixelColorWithOverflow(long x, long y, OverflowMethod method = OM_BACKGROUND,
                                      RGBQUAD* const replacement = nullptr);

    // ---- filter kernels ----
    static float KernelBSpline(const float x);
    static float KernelLinear(const float t);
    static float KernelCubic(const float t);
    static float KernelGeneralizedCubic(const float t, const float a);
    static float KernelLanczosSinc(const float t, const float r);
    static float KernelBox(const float x);
    static float KernelHermite(const float x);
    static float KernelHamming(const float x);
    static float KernelSinc(const float x);
    static float KernelBlackman(const float x);
    static float KernelBessel_J1(const float x);
    static float KernelBessel_P1(const float x);
    static float KernelBessel_Q1(const float x);
    static float KernelBessel_Order1(float x);
    static float KernelBessel(const float x);
    static float KernelGaussian(const float x);
    static float KernelQuadratic(const float x);
    static float KernelMitchell(const float x);
    static float KernelCatrom(const float x);

    // ---- point and area interpolation ----
    RGBQUAD GetPixelColorInterpolated(float x, float y, InterpolationMethod method = IM_BILINEAR,
                                      OverflowMethod overflow = OM_BACKGROUND,
                                      RGBQUAD* const replacement = nullptr);
    RGBQUAD GetAreaColorInterpolated(float xc, float yc, float w, float h,
                                     InterpolationMethod method,
                                     OverflowMethod overflow = OM_BACKGROUND,
                                     RGBQUAD* const replacement = nullptr);

    // ---- interpolated transforms ----
    bool Resample2(long newWidth, long newHeight, InterpolationMethod method = IM_BICUBIC2,
                   OverflowMethod overflow = OM_REPEAT, CxImage* const destination = nullptr,
                   bool disableAveraging = false);
    bool Rotate2(float angle, CxImage* destination = nullptr,
                 InterpolationMethod method = IM_BILINEAR, OverflowMethod overflow = OM_BACKGROUND,
                 RGBQUAD* replacement = nullptr, bool optimizeRightAngles = true,
                 bool keepOriginalSize = false);
    bool CropRotatedRectangle(long left, long top, long width, long height, float angle,
                              CxImage* destination = nullptr);

protected:
    // The library's own code outside the members reaches the record through
    // its view.
    friend class RecordView;

    void Startup(unsigned long type);
    void CopyInfo(const CxImage& source);
    // Create, with the rows left uncleared when `clearRows` is false.
    void* CreateBlock(unsigned long width, unsigned long height, unsigned long bpp,
                      unsigned long type, bool clearRows);
    // Builds the work image of a transformation: this image's attributes,
    // depth, type and palette at the given size, with an alpha plane when
    // this image has one. False when it or its alpha plane cannot be made.
    // An operation that passes its destination calls ReuseDestinationBlock
    // on every path that delivers the work image.
    bool CreateWorkImage(CxImage& work, unsigned long width, unsigned long height,
                         CxImage* destination = nullptr);
    // The pixel block of `work` at the given size and depth, its rows cleared
    // unless they go to `destination` in exchange for its block.
    bool CreateWorkBlock(CxImage& work, unsigned long width, unsigned long height,
                         unsigned long bpp, CxImage* destination);
    // The result of Crop and Expand: a newly created image (fresh attributes)
    // of this image's depth and type with its palette and its transparent
    // index and colour, as stored.
    bool CreateCanvas(CxImage& canvas, int64_t width, int64_t height, CxImage* destination);
    // Whether ReuseDestinationBlock swaps the blocks of `work` and `destination`.
    bool TakesBlockOf(CxImage& work, CxImage* destination);
    // Once nothing can fail before `destination` takes the result: where its
    // pixel block has the size of the fresh, unwritten one of `work`, the two
    // swap them, the block cleared as it was made. An operation that writes
    // every pixel of every row in whole bytes (8 or 24 bpp) says
    // `pixelsWritten`: only the padding is cleared then, and the rows an
    // escape keeps it from writing are its own to clear.
    void ReuseDestinationBlock(CxImage& work, CxImage* destination, bool pixelsWritten = false);
    static void SetCreatedHeader(BITMAPINFOHEADER& header, int32_t width, int32_t height,
                                 uint16_t bpp, uint32_t colours, uint32_t rowBytes);
    // Leaves this image as copying it into a work image without its selection
    // and transferring that back would: operations that rearrange pixels in
    // place (Flip, Mirror) give the same result as through a work image.
    void RecreateInPlace();
    // DecreaseBpp without error diffusion: every pixel's nearest entry of the
    // result's final palette, rows in parallel bands.
    void DecreaseRows(CxImage& work);
    // Moves an 8-bit grey image of a plane (alpha or selection, one byte per
    // pixel) into the destination.
    bool PlaneToGreyImage(const uint8_t* plane, CxImage& destination);
    void Ghost(CxImage* from);
    static int CompareColors(const void* first, const void* second);

    void Bitfield2RGB(unsigned char* source, unsigned short redMask, unsigned short greenMask,
                      unsigned short blueMask, unsigned char sourceBpp);
    void RGBtoBGR(unsigned char* buffer, int length);

    // Unchecked accessors for inner loops that have established the bounds.
    unsigned char BlindGetPixelIndex(long x, long y);
    RGBQUAD BlindGetPixelColor(long x, long y);
    void BlindSetPixelIndex(long x, long y, unsigned char index);
    void BlindSetPixelColor(long x, long y, RGBQUAD colour, bool setalpha = false);
    void* BlindGetPixelPointer(long x, long y);
    unsigned char BlindAlphaGet(long x, long y);

    // Reading with overflow on 64-bit coordinates, whatever the width of
    // long: the samplers' cells may lie beyond the 32-bit range.
    RGBQUAD PixelColorWithOverflowWide(long long x, long long y, OverflowMethod method,
                                       RGBQUAD* const replacement);

    void AddAveragingCont(const RGBQUAD& colour, float weight, float& red, float& green,
                          float& blue, float& alpha);

    // Data members, in this order: pixel buffer, header, attribute block,
    // selection plane, alpha plane.
    void* pixelBuffer;
    BITMAPINFOHEADER head;
    Info info;
    uint8_t* selection;
    uint8_t* alpha;
};

#include "image/PixelAccess.inl"
