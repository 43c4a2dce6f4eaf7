#pragma once
// The ASPI for Win32 interface as this system uses it: the request blocks and
// the two entry points of the ASPI layer library (libwnaspi32.so, loaded by
// the engine at run time under its Windows name "WNASPI32.DLL").
//
// Layout follows the published ASPI request blocks with native pointer widths,
// so on a 64-bit machine the blocks are larger than their 32-bit originals;
// every field keeps its meaning and value.

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* SRB_Cmd values */
#define SC_HA_INQUIRY 0x00
#define SC_GET_DEV_TYPE 0x01
#define SC_EXEC_SCSI_CMD 0x02
/* Finds the drives plugged in or removed since; a plain SRB_Header. */
#define SC_RESCAN_SCSI_BUS 0x07

/* SRB_Status values */
#define SS_PENDING 0x00
#define SS_COMP 0x01
#define SS_ABORTED 0x02
#define SS_ERR 0x04
#define SS_INVALID_CMD 0x80
#define SS_INVALID_HA 0x81
#define SS_NO_DEVICE 0x82

/* SRB_Flags */
#define SRB_DIR_IN 0x08
#define SRB_DIR_OUT 0x10
#define SRB_EVENT_NOTIFY 0x40

/* SRB_TargStat values */
#define STATUS_GOOD 0x00
#define STATUS_CHKCOND 0x02

#define DTYPE_CDROM 0x05
#define SENSE_LEN 14
#define ASPI_SENSE_AREA 16

typedef struct {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t SRB_Target;
  uint8_t SRB_Lun;
  uint16_t SRB_Rsvd1;
  uint32_t SRB_BufLen;
  uint8_t* SRB_BufPointer;
  uint8_t SRB_SenseLen;
  uint8_t SRB_CDBLen;
  uint8_t SRB_HaStat;
  uint8_t SRB_TargStat;
  /* The notification event: a platform::Event* when SRB_EVENT_NOTIFY is set.
     The layer sets it when a request it left pending completes. */
  void* SRB_PostProc;
  uint8_t SRB_Rsvd2[20];
  uint8_t CDBByte[16];
  uint8_t SenseArea[ASPI_SENSE_AREA];
} SRB_ExecSCSICmd;

typedef struct {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t HA_Count;
  uint8_t HA_SCSI_ID;
  uint8_t HA_ManagerId[16];
  uint8_t HA_Identifier[16];
  uint8_t HA_Unique[16];
  uint16_t HA_Rsvd1;
} SRB_HAInquiry;

typedef struct {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
  uint8_t SRB_Target;
  uint8_t SRB_Lun;
  uint8_t SRB_DeviceType;
  uint8_t SRB_Rsvd1;
} SRB_GDEVBlock;

/* Any request block starts with this header. */
typedef struct {
  uint8_t SRB_Cmd;
  uint8_t SRB_Status;
  uint8_t SRB_HaId;
  uint8_t SRB_Flags;
  uint32_t SRB_Hdr_Rsvd;
} SRB_Header;

typedef uint32_t (*SendASPI32CommandFn)(void* srb);
typedef uint32_t (*GetASPI32SupportInfoFn)(void);

/* Sends a request block. Requests either complete before the call returns or
   stay SS_PENDING and set SRB_PostProc on completion. */
uint32_t SendASPI32Command(void* srb);
/* High byte of the low word: SS_COMP or SS_NO_ADAPTERS; low byte: the number
   of host adapters. */
uint32_t GetASPI32SupportInfo(void);

/* This layer's own addition: what the user needs to know about the last
   refusal of the device at an address that sense data cannot carry (where
   its disc is mounted and the command that unmounts it). Copies at most
   size - 1 characters and a terminating NUL into text; returns the note's
   full length, 0 when there is none. */
uint32_t GetASPI32DeviceNote(uint8_t hostAdapter, uint8_t target, uint8_t lun, char* text,
                             uint32_t size);
typedef uint32_t (*GetASPI32DeviceNoteFn)(uint8_t hostAdapter, uint8_t target, uint8_t lun,
                                          char* text, uint32_t size);

#define SS_NO_ADAPTERS 0xE8
/* A request block the layer cannot take (bad CDB length, no buffer). */
#define SS_INVALID_SRB 0xE0

/* SRB_HaStat values: what the host adapter reports about the transport. */
#define HASTAT_OK 0x00
#define HASTAT_TIMEOUT 0x09           /* timed out while in the queue */
#define HASTAT_COMMAND_TIMEOUT 0x0B   /* the command itself timed out */
#define HASTAT_BUS_RESET 0x0E
#define HASTAT_PARITY_ERROR 0x0F
#define HASTAT_SEL_TO 0x11            /* device did not answer */
#define HASTAT_DO_DU 0x12             /* data overrun or underrun */
#define HASTAT_BUS_FREE 0x13
#define HASTAT_PHASE_ERR 0x14

/* SRB_TargStat values beyond GOOD and CHECK CONDITION. */
#define STATUS_BUSY 0x08
#define STATUS_RESCONF 0x18

#ifdef __cplusplus
}

static_assert(sizeof(SRB_HAInquiry) == 60, "HA_Count sits at offset 8, 50 bytes copied from it");
static_assert(sizeof(SRB_GDEVBlock) == 12, "SRB_DeviceType sits at offset 10");
#endif
