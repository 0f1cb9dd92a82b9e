#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/log_backed_engine.h"
#include "fat/dir_entry.h"
#include "fat/fat_table.h"

namespace keldrive {

// The FAT part of the deep scan: rebuilds FAT folders and files from directory sectors
// found anywhere on the medium, after a format, a repartition or damage to the boot
// sector or the allocation table. It never walks a directory tree: the combined engine's
// walk hands it every sector that looks like FAT directory content, and it works out from
// those alone where each data area lies and how large its clusters are. Its records carry
// sourceEngine 3 and live in a "Pro_Fat_" log; a file's clusters are taken to follow one
// another.
class CProfessionalFatRecovery : public LogBackedEngine {
 public:
  // Where one FAT data area lies and how large its clusters are.
  struct Geometry {
    std::uint32_t sectorsPerCluster = 0;
    std::uint64_t dataStart = 0;    // sector of cluster 2, from the volume start
    std::uint64_t volumeStart = 0;  // absolute
    std::uint32_t rootCluster = 2;  // 0: a fixed root area of `rootSectors` before cluster 2
    std::uint32_t rootSectors = 0;
    std::uint64_t end = 0;  // absolute end of the volume; 0 when not known
    bool fromBoot = false;
    std::uint64_t DataSector() const { return volumeStart + dataStart; }
  };

  // What is held between sectors is bounded, so that a medium full of sectors that look
  // like directory content cannot exhaust memory. A sector that cannot be placed once the
  // held copies fill kMaxHeldBytes is dropped (counted in DroppedSectors); past
  // kMaxFragments the oldest unfinished long name is dropped and its file keeps its short
  // name; past kMaxPendingFiles a file found before any geometry is dropped; past
  // kMaxFolders a folder's own entry is not kept (it is listed as LostFolder<cluster>) and
  // no further folders are written (their files stay listed by type).
  static constexpr std::size_t kMaxHeldBytes = 32u << 20;
  static constexpr std::size_t kMaxFolders = 262144;
  static constexpr std::size_t kMaxFragments = 4096;
  static constexpr std::size_t kMaxPendingFiles = 65536;
  static constexpr std::size_t kMaxObservations = 4096;
  static constexpr std::size_t kMaxGeometries = 64;

  explicit CProfessionalFatRecovery(ScanEnvironment environment);

  // The combined engine drives the scan: these do nothing.
  ResultCode Scan(std::string_view logName) override;
  std::int32_t NextFreeExtent(std::uint64_t& sector, std::uint64_t& length) override;
  ResultCode BuildUsedClusterMap() override;

  // Starts from nothing, with a new "Pro_Fat_" log, or with the earlier log `logName`.
  ResultCode BeginFatScan(std::string_view logName);
  // Takes the geometry of an intact boot sector at the volume start, when there is one.
  ResultCode SeedFatGeometry();
  // A FAT boot sector met anywhere in the walk (a volume of a whole disk).
  void OnFatBootSector(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  // A sector that begins with a "." and ".." pair: the first sector of a folder.
  void OnFolderStartSector(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  // Any other sector of FAT directory entries.
  void OnFatDirectorySector(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  // After the last sector: places what could not be placed yet and writes the folders.
  ResultCode FinishFatScan();

  // The clusters DataOf reads, as runs on the medium.
  ByteRunsAnswer ByteRunsOf(const FoundFile& record, std::vector<ByteRun>& runs) override;

  const std::vector<Geometry>& Geometries() const { return geometries_; }
  std::size_t HeldSectors() const { return held_.size(); }
  std::size_t PendingFiles() const { return pending_.size(); }
  std::uint64_t DroppedSectors() const { return droppedSectors_; }

 protected:
  ResultCode OpenVolume(std::uint64_t firstSector, std::uint64_t sectorCount, char16_t driveLetter,
                        std::uint32_t deviceSectorBytes) override;
  std::uint32_t RootFolder() const override { return rootCluster_; }
  CopyFileData DataOf(const FoundFile& record) override;

 private:
  static constexpr int kNoGeometry = -1;
  // The root folder of any volume, whatever cluster it has.
  static constexpr std::uint32_t kRoot = 0xFFFFFFFFu;

  struct FolderStart {
    bool dotPair = false;
    std::uint32_t parent = 0;  // the ".." cluster
  };
  struct MappedFolder {
    FoundFile record;  // its parent folder in recordNumber until it is written
    int geometry = kNoGeometry;
  };
  struct FolderToRecord {
    int geometry = kNoGeometry;
    std::uint64_t sector = 0;
  };
  struct Pending {
    FoundFile record;  // its folder in recordNumber
    bool done = false;
  };
  struct NameFragment {
    std::uint8_t checksum = 0;
    std::uint32_t folder = 0;
    std::uint64_t sector = 0;
    std::vector<std::uint8_t> bytes;
    int geometry = kNoGeometry;
  };
  struct Context {
    int geometry = kNoGeometry;
    std::uint32_t folder = 0;
    std::uint64_t first = 0;  // sectors [first, end) belong to `folder`
    std::uint64_t end = 0;
  };
  struct Observation {
    std::uint32_t cluster = 0;
    std::uint64_t sector = 0;
  };
  struct OpenFolder {
    int geometry = kNoGeometry;
    std::uint32_t lastCluster = 0;
  };
  struct ParseResult {
    std::uint32_t folder = 0;
    int geometry = kNoGeometry;
    bool ended = false;  // an entry starting with 0 closed the folder
    std::optional<NameFragment> unfinished;
  };

  void Reset();
  bool TakeBootSector(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  void SeedFromPartitionTable(std::span<const std::uint8_t> first);
  int AddGeometry(const Geometry& geometry);
  std::optional<Geometry> Derive(const Observation& a, const Observation& b) const;
  std::optional<std::uint64_t> ClusterSector(int geometry, std::uint32_t cluster) const;
  int ExactGeometry(std::uint32_t cluster, std::uint64_t sector) const;
  bool Contains(int geometry, std::uint32_t folder, std::uint64_t sector);
  bool RootAt(int geometry, std::uint64_t sector) const;
  int NearestGeometry(std::uint64_t sector) const;
  int PlacingGeometry(std::uint64_t sector) const;
  // The cluster (or kRoot for a fixed root area) that holds `sector`, and where it starts.
  std::optional<std::pair<std::uint32_t, std::uint64_t>> ClusterOf(int geometry,
                                                                   std::uint64_t sector) const;

  FolderStart ReadFolderStart(int geometry, std::uint32_t cluster);
  bool IsRootCluster(int geometry, std::uint32_t cluster);
  std::uint32_t ParentOf(int geometry, std::uint32_t cluster);
  std::uint32_t Depth(int geometry, std::uint32_t folder);
  std::uint32_t KeyOf(std::uint32_t folder) const {
    return folder == kRoot ? rootCluster_ : folder;
  }

  // Which folder a sector of content belongs to, and under which geometry.
  std::pair<std::uint32_t, int> ResolveFolder(std::span<const std::uint8_t> sector,
                                              std::uint32_t cluster, int geometry,
                                              std::uint64_t absoluteSector, bool clusterStart);
  ParseResult ParseContent(std::span<const std::uint8_t> bytes, std::uint32_t folder, int geometry,
                           std::uint64_t sector, std::size_t prefixBytes = 0,
                           std::uint64_t prefixSector = 0);
  void ParseAndKeep(std::span<const std::uint8_t> bytes, std::uint32_t folder, int geometry,
                    std::uint64_t sector, std::size_t prefixBytes = 0,
                    std::uint64_t prefixSector = 0);
  bool JoinFragment(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  void Hold(std::span<const std::uint8_t> sector, std::uint64_t absoluteSector);
  void TakeFolder(const DirEntry& entry, const std::string& name, std::uint32_t folder,
                  int geometry, std::uint64_t entrySector);
  void TakeFile(const DirEntry& entry, const std::string& name, std::uint32_t folder, int geometry,
                std::uint64_t entrySector);
  void CompleteFile(FoundFile record, int geometry);
  void MarkFoldersToRecord(std::uint32_t folder, int geometry, std::uint64_t sector);
  void ResolvePending(bool nearest);
  void RecordFolders();
  std::uint32_t SearchHighWord(std::uint16_t low, bool folder, std::string_view extension,
                               int geometry);
  std::uint32_t ContentOk(const FoundFile& record, int geometry);
  bool ReadSector(std::uint64_t sector, std::vector<std::uint8_t>& out);
  void FillGeometry(FoundFile& record, int geometry) const;
  // Whether the table of the record's volume, where its boot sector survived, holds the
  // file's own chain; `table` is then bound to it.
  bool OwnChain(const FoundFile& record, FatTable& table);
  // The cluster after `cluster` of a file read without a table: the next one, past the
  // clusters of live files this scan found there.
  std::optional<std::uint32_t> NextFreeOfFound(const FoundFile& record, std::uint32_t cluster);

  // Where the live files of the log lie, by data area: first cluster -> clusters, built on
  // first use from the log and again when it grew.
  struct DataArea {
    std::uint64_t volumeStart = 0;
    std::uint64_t dataStart = 0;
    std::uint32_t clusterBytes = 0;
    auto operator<=>(const DataArea&) const = default;
  };
  std::map<DataArea, std::map<std::uint32_t, std::uint64_t>> liveExtents_;
  std::uint64_t liveExtentsRecords_ = 0;

  std::uint64_t volumeStart_ = 0;
  std::uint64_t sectorCount_ = 0;
  char16_t driveLetter_ = 0;
  std::uint32_t bytesPerSector_ = 512;
  std::uint32_t rootCluster_ = 2;

  std::vector<Geometry> geometries_;
  std::deque<Observation> observations_;
  std::optional<std::pair<std::uint64_t, int>> lastObservation_;  // sector, its geometry
  std::map<std::uint32_t, MappedFolder> folderMap_;
  std::map<std::uint32_t, FolderToRecord> foldersToRecord_;
  std::vector<Pending> pending_;
  std::deque<NameFragment> fragments_;
  std::map<std::uint64_t, std::vector<std::uint8_t>> held_;
  std::size_t heldBytes_ = 0;
  std::uint64_t droppedSectors_ = 0;
  std::optional<Context> context_;
  std::map<std::uint32_t, OpenFolder> openFolders_;
  std::unordered_map<std::uint64_t, FolderStart> startCache_;
  std::unordered_map<std::uint64_t, std::uint32_t> depthCache_;
};

}  // namespace keldrive
