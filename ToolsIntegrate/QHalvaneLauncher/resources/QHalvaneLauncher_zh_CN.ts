<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>OrvelApplicationController</name>
    <message>
        <source>Launching program: %1</source>
        <translation>正在启动程序：%1</translation>
    </message>
    <message>
        <source>Failed to launch program: %1</source>
        <translation>启动程序失败：%1</translation>
    </message>
    <message>
        <source>Launcher update package ready: %1</source>
        <translation>启动器更新包已就绪：%1</translation>
    </message>
</context>
<context>
    <name>OrvelCloseConfirmDialog</name>
    <message>
        <source>Close Confirmation</source>
        <translation>关闭确认</translation>
    </message>
    <message>
        <source>Minimize to system tray and continue running?</source>
        <translation>最小化到系统托盘并继续运行？</translation>
    </message>
    <message>
        <source>Remember my choice</source>
        <translation>记住我的选择</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
</context>
<context>
    <name>OrvelDialogPrompt</name>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>OrvelDirectoryReconcile</name>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>Failed to compare local file with server file %1: %2</source>
        <translation>比较本地文件与服务器文件 %1 失败：%2</translation>
    </message>
    <message>
        <source>Failed to delete file: %1</source>
        <translation>删除文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to create directory: %1</source>
        <translation>创建目录失败：%1</translation>
    </message>
    <message>
        <source>Failed to revert file %1: %2</source>
        <translation>还原文件 %1 失败：%2</translation>
    </message>
    <message>
        <source>Directory reconcile complete: %1 files reverted, %2 files deleted</source>
        <translation>目录校正完成：已还原 %1 个文件，已删除 %2 个文件</translation>
    </message>
    <message>
        <source>Directory reconcile unavailable: no server-backed directories found</source>
        <translation>目录校正不可用：未找到由服务器提供的目录</translation>
    </message>
    <message>
        <source>Directory reconcile skipped: no directories selected</source>
        <translation>已跳过目录校正：未选择任何目录</translation>
    </message>
    <message>
        <source>Directory reconcile scan finished: no changes needed</source>
        <translation>目录校正扫描完成：无需更改</translation>
    </message>
    <message>
        <source>Directory reconcile cancelled during directory selection</source>
        <translation>目录校正已在选择目录时取消</translation>
    </message>
    <message>
        <source>Directory reconcile cancelled during change confirmation</source>
        <translation>目录校正已在确认更改时取消</translation>
    </message>
    <message>
        <source>Directory reconcile skipped: no files selected</source>
        <translation>已跳过目录校正：未选择任何文件</translation>
    </message>
    <message>
        <source>Directory reconcile scan failed: %1</source>
        <translation>目录校正扫描失败：%1</translation>
    </message>
    <message>
        <source>Directory reconcile failed after %1 files reverted and %2 files deleted: %3</source>
        <translation>目录校正失败（已还原 %1 个文件，已删除 %2 个文件）：%3</translation>
    </message>
</context>
<context>
    <name>OrvelDirectoryReconcileDialog</name>
    <message>
        <source>Select Directories to Reconcile</source>
        <translation>选择要校正的目录</translation>
    </message>
    <message>
        <source>Select the directories to compare with the server version.</source>
        <translation>选择要与服务器版本比较的目录。</translation>
    </message>
    <message>
        <source>Directory</source>
        <translation>目录</translation>
    </message>
    <message>
        <source>Scan Selected Directories</source>
        <translation>扫描所选目录</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
</context>
<context>
    <name>OrvelDownloadMode</name>
    <message>
        <source>Using incremental download: version %1 -&gt; %2 (%3 versions)</source>
        <translation>使用增量下载：版本 %1 -&gt; %2（%3 个版本）</translation>
    </message>
    <message>
        <source>Using full download (version span too large: %1)</source>
        <translation>使用完整下载（版本跨度过大：%1）</translation>
    </message>
    <message>
        <source>Using full download (no valid sync baseline)</source>
        <translation>使用完整下载（没有有效的同步基线）</translation>
    </message>
</context>
<context>
    <name>OrvelEditorPath</name>
    <message>
        <source>Refused to launch program: %1 leads outside the working path (%2)</source>
        <translation>拒绝启动程序：%1 指向工作路径之外（%2）</translation>
    </message>
    <message>
        <source>The editor is not installed in the working path (%1 is missing): get the latest version first</source>
        <translation>编辑器尚未安装在工作路径中（缺少 %1）：请先获取最新版本</translation>
    </message>
    <message>
        <source>Cannot enter the working path %1</source>
        <translation>无法进入工作路径 %1</translation>
    </message>
    <message>
        <source>The program file is missing: %1</source>
        <translation>程序文件不存在：%1</translation>
    </message>
    <message>
        <source>The program is not executable: %1</source>
        <translation>程序不可执行：%1</translation>
    </message>
</context>
<context>
    <name>OrvelFileService</name>
    <message>
        <source>Failed to load dynamic library: %1 (error code: %2)</source>
        <translation>加载动态库失败：%1（错误代码：%2）</translation>
    </message>
    <message>
        <source>Failed to get export functions</source>
        <translation>获取导出函数失败</translation>
    </message>
    <message>
        <source>Failed to initialize Corvane manager</source>
        <translation>初始化 Corvane 管理器失败</translation>
    </message>
    <message>
        <source>Failed to %1: %2 (target file is read-only)</source>
        <translation>无法%1：%2（目标文件为只读）</translation>
    </message>
    <message>
        <source>file is in use by another process</source>
        <translation>文件正被其他进程使用</translation>
    </message>
    <message>
        <source>access denied</source>
        <translation>访问被拒绝</translation>
    </message>
    <message>
        <source>target is write-protected</source>
        <translation>目标处于写保护状态</translation>
    </message>
    <message>
        <source>not enough disk space</source>
        <translation>磁盘空间不足</translation>
    </message>
    <message>
        <source>Failed to %1: %2</source>
        <translation>无法%1：%2</translation>
    </message>
    <message>
        <source>Failed to %1: %2 (%3)</source>
        <translation>无法%1：%2（%3）</translation>
    </message>
    <message>
        <source>Corvane reader not initialized</source>
        <translation>Corvane 读取器未初始化</translation>
    </message>
    <message>
        <source>Failed to create StreamReader, please check configuration file</source>
        <translation>创建 StreamReader 失败，请检查配置文件</translation>
    </message>
    <message>
        <source>Corvane configuration path is empty</source>
        <translation>Corvane 配置路径为空</translation>
    </message>
    <message>
        <source>Failed to initialize Corvane</source>
        <translation>初始化 Corvane 失败</translation>
    </message>
    <message>
        <source>PakInfo requires cache repair for version %1</source>
        <translation>版本 %1 的 PakInfo 需要修复缓存</translation>
    </message>
    <message>
        <source>PakInfo metadata not found for version %1</source>
        <translation>未找到版本 %1 的 PakInfo 元数据</translation>
    </message>
    <message>
        <source>Failed to get PakInfo for version %1</source>
        <translation>获取版本 %1 的 PakInfo 失败</translation>
    </message>
    <message>
        <source>Remote file not found: %1</source>
        <translation>未找到远程文件：%1</translation>
    </message>
    <message>
        <source>Cannot open remote file: %1</source>
        <translation>无法打开远程文件：%1</translation>
    </message>
    <message>
        <source>Remote file too large to read as text: %1</source>
        <translation>远程文件过大，无法作为文本读取：%1</translation>
    </message>
    <message>
        <source>Failed to read remote file: %1</source>
        <translation>读取远程文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to get cloud file hash: %1</source>
        <translation>获取云端文件哈希失败：%1</translation>
    </message>
    <message>
        <source>File not found: %1</source>
        <translation>未找到文件：%1</translation>
    </message>
    <message>
        <source>Cannot open file: %1</source>
        <translation>无法打开文件：%1</translation>
    </message>
    <message>
        <source>File too large for hashing: %1</source>
        <translation>文件过大，无法计算哈希：%1</translation>
    </message>
    <message>
        <source>Failed to read file for hashing: %1</source>
        <translation>读取文件以计算哈希失败：%1</translation>
    </message>
    <message>
        <source>Failed to read the %1 of version %2</source>
        <translation>读取版本 %2 的%1失败</translation>
    </message>
    <message>
        <source>file list</source>
        <translation>文件列表</translation>
    </message>
    <message>
        <source>changed-file list</source>
        <translation>变更文件列表</translation>
    </message>
    <message>
        <source>Failed to download data file from data list entry: %1</source>
        <translation>从数据列表条目下载数据文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to sync patch data for version %1: %2</source>
        <translation>同步版本 %1 的补丁数据失败：%2</translation>
    </message>
    <message>
        <source>Cannot create directory: %1</source>
        <translation>无法创建目录：%1</translation>
    </message>
    <message>
        <source>Download cancelled: %1</source>
        <translation>下载已取消：%1</translation>
    </message>
    <message>
        <source>Failed to read file: %1</source>
        <translation>读取文件失败：%1</translation>
    </message>
    <message>
        <source>Downloaded content does not match the store&apos;s hash: %1</source>
        <translation>下载的内容与资源仓库的哈希不一致：%1</translation>
    </message>
    <message>
        <source>Failed to set download limit speed: %1 B/s</source>
        <translation>设置下载限速失败：%1 B/s</translation>
    </message>
    <message>
        <source>Failed to abort download</source>
        <translation>中止下载失败</translation>
    </message>
    <message>
        <source>Failed to get cloud file size: %1</source>
        <translation>获取云端文件大小失败：%1</translation>
    </message>
    <message>
        <source>Launcher Corvane configuration path is empty</source>
        <translation>启动器 Corvane 配置路径为空</translation>
    </message>
    <message>
        <source>Failed to initialize launcher Corvane</source>
        <translation>初始化启动器 Corvane 失败</translation>
    </message>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>Failed to clear launcher cache directory: %1</source>
        <translation>清空启动器缓存目录失败：%1</translation>
    </message>
    <message>
        <source>Failed to recreate launcher cache directory: %1</source>
        <translation>重新创建启动器缓存目录失败：%1</translation>
    </message>
    <message>
        <source>Updater file does not match the store&apos;s content hash: %1</source>
        <translation>更新程序文件与资源仓库的内容哈希不一致：%1</translation>
    </message>
    <message>
        <source>Failed to read remote updater file: %1</source>
        <translation>读取远程更新程序文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to create target directory: %1</source>
        <translation>创建目标目录失败：%1</translation>
    </message>
    <message>
        <source>Failed to open target file: %1</source>
        <translation>打开目标文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to write target file: %1</source>
        <translation>写入目标文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to replace target file: %1</source>
        <translation>替换目标文件失败：%1</translation>
    </message>
    <message>
        <source>Invalid self-update package input</source>
        <translation>自更新包输入无效</translation>
    </message>
    <message>
        <source>Self-update preparation stopped</source>
        <translation>自更新准备已停止</translation>
    </message>
    <message>
        <source>Launcher file does not match the store&apos;s content hash: %1</source>
        <translation>启动器文件与资源仓库的内容哈希不一致：%1</translation>
    </message>
    <message>
        <source>No packageable self-update files</source>
        <translation>没有可打包的自更新文件</translation>
    </message>
    <message>
        <source>Failed to build update package</source>
        <translation>构建更新包失败</translation>
    </message>
    <message>
        <source>Launcher store path leaves the launcher directory: %1</source>
        <translation>启动器存储路径超出了启动器目录：%1</translation>
    </message>
    <message>
        <source>Refused to write outside the working path: %1</source>
        <translation>拒绝写入工作路径之外的位置：%1</translation>
    </message>
    <message>
        <source>Refused to write through a symbolic link: %1</source>
        <translation>拒绝通过符号链接写入：%1</translation>
    </message>
    <message>
        <source>create temporary file for local file</source>
        <translation>为本地文件创建临时文件</translation>
    </message>
    <message>
        <source>create local file</source>
        <translation>创建本地文件</translation>
    </message>
    <message>
        <source>write local file</source>
        <translation>写入本地文件</translation>
    </message>
    <message>
        <source>replace local file</source>
        <translation>替换本地文件</translation>
    </message>
    <message>
        <source>flush local file</source>
        <translation>刷新本地文件</translation>
    </message>
    <message>
        <source>flush directory</source>
        <translation>刷新目录</translation>
    </message>
    <message>
        <source>Not verified: this library cannot check signatures</source>
        <translation>未验证：此程序库无法检查签名</translation>
    </message>
    <message>
        <source>Not signed: files are checked for integrity only</source>
        <translation>未签名：仅检查文件完整性</translation>
    </message>
    <message>
        <source>Verified: version %1 signed by key %2</source>
        <translation>已验证：版本 %1 由密钥 %2 签名</translation>
    </message>
</context>
<context>
    <name>OrvelGetLatestWorker</name>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>Incremental download not possible (%1); using full download instead</source>
        <translation>无法增量下载（%1）；改用完整下载</translation>
    </message>
    <message>
        <source>Download target path is empty</source>
        <translation>下载目标路径为空</translation>
    </message>
    <message>
        <source>the file service reads version %1, not %2</source>
        <translation>文件服务读取的是版本 %1，而不是 %2</translation>
    </message>
    <message>
        <source>version %1 cannot be opened: %2</source>
        <translation>无法打开版本 %1：%2</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>the changes of version %1 cannot be read: %2</source>
        <translation>无法读取版本 %1 的变更：%2</translation>
    </message>
    <message>
        <source>Files the latest version no longer holds are kept: %1</source>
        <translation>保留了最新版本中已不存在的文件：%1</translation>
    </message>
    <message>
        <source>Files the latest version no longer holds are kept: version %1: %2</source>
        <translation>保留了最新版本中已不存在的文件：版本 %1：%2</translation>
    </message>
    <message>
        <source>(%2/%3) Skipping linked file %1</source>
        <translation>(%2/%3) 跳过链接文件 %1</translation>
    </message>
    <message>
        <source>(%2/%3) Skipping removed file %1</source>
        <translation>(%2/%3) 跳过已移除的文件 %1</translation>
    </message>
    <message>
        <source>(%2/%3) Downloading file %1</source>
        <translation>(%2/%3) 正在下载文件 %1</translation>
    </message>
</context>
<context>
    <name>OrvelLauncherCommandLine</name>
    <message>
        <source>Keeps the editor tool suite up to date.</source>
        <translation>使编辑器工具套件保持最新。</translation>
    </message>
    <message>
        <source>Base URL (http or https) of the client-products store that preload fetches from, instead of the built-in one. Also read from %1.</source>
        <translation>预加载所用的客户端产品资源仓库的基础 URL（http 或 https），用于替代内置地址。也会从 %1 读取。</translation>
    </message>
    <message>
        <source>Unexpected argument: %1</source>
        <translation>意外的参数：%1</translation>
    </message>
    <message>
        <source>--client-products-server needs a URL</source>
        <translation>--client-products-server 需要一个 URL</translation>
    </message>
    <message>
        <source>Invalid client-products server URL in %1 (an http or https URL without query or fragment is needed): %2</source>
        <translation>%1 中的客户端产品服务器 URL 无效（需要不带查询和片段的 http 或 https URL）：%2</translation>
    </message>
</context>
<context>
    <name>OrvelLauncherController</name>
    <message>
        <source>resource service unavailable</source>
        <translation>资源服务不可用</translation>
    </message>
    <message>
        <source>Failed to initialize notice file service for version %1: %2</source>
        <translation>无法为版本 %1 初始化公告文件服务：%2</translation>
    </message>
    <message>
        <source>Update notice unavailable</source>
        <translation>更新公告不可用</translation>
    </message>
    <message>
        <source>Notice version request resolved to unexpected version: requested %1, got %2</source>
        <translation>公告版本请求解析为意外版本：请求 %1，得到 %2</translation>
    </message>
    <message>
        <source>Failed to read changelog.txt for version %1: %2</source>
        <translation>读取版本 %1 的 changelog.txt 失败：%2</translation>
    </message>
    <message>
        <source>Failed to read changelog.txt

%1</source>
        <translation>读取 changelog.txt 失败

%1</translation>
    </message>
    <message>
        <source>&lt;empty&gt;</source>
        <translation>&lt;空&gt;</translation>
    </message>
    <message>
        <source> | PakInfo unavailable: %1</source>
        <translation> | PakInfo 不可用：%1</translation>
    </message>
    <message>
        <source>Failed to read PakInfo for notice version %1: %2</source>
        <translation>读取公告版本 %1 的 PakInfo 失败：%2</translation>
    </message>
    <message>
        <source>Failed to read version metadata.

%1</source>
        <translation>读取版本元数据失败。

%1</translation>
    </message>
    <message>
        <source>Checking for updates...</source>
        <translation>正在检查更新...</translation>
    </message>
    <message>
        <source>Resource update available</source>
        <translation>有可用的资源更新</translation>
    </message>
    <message>
        <source>Resource update available; launcher check unavailable</source>
        <translation>有可用的资源更新；启动器检查不可用</translation>
    </message>
    <message>
        <source>Already the newest version</source>
        <translation>已是最新版本</translation>
    </message>
    <message>
        <source>Downloading updates...</source>
        <translation>正在下载更新...</translation>
    </message>
    <message>
        <source>Update complete</source>
        <translation>更新完成</translation>
    </message>
    <message>
        <source>Update failed</source>
        <translation>更新失败</translation>
    </message>
    <message>
        <source>Transfer paused</source>
        <translation>传输已暂停</translation>
    </message>
    <message>
        <source>Continuing transfer...</source>
        <translation>正在继续传输...</translation>
    </message>
    <message>
        <source>Repairing resources...</source>
        <translation>正在修复资源...</translation>
    </message>
    <message>
        <source>Rolling back changes...</source>
        <translation>正在回滚更改...</translation>
    </message>
    <message>
        <source>Rollback complete</source>
        <translation>回滚完成</translation>
    </message>
    <message>
        <source>Download stopped</source>
        <translation>下载已停止</translation>
    </message>
    <message>
        <source>Get Latest</source>
        <translation>获取最新版本</translation>
    </message>
    <message>
        <source>Repair Resources</source>
        <translation>修复资源</translation>
    </message>
    <message>
        <source>Resource repair may take a long time. Do you want to continue?</source>
        <translation>资源修复可能需要较长时间。是否继续？</translation>
    </message>
    <message>
        <source>Launcher Update Available</source>
        <translation>启动器有可用更新</translation>
    </message>
    <message>
        <source>An update was interrupted</source>
        <translation>更新被中断</translation>
    </message>
    <message>
        <source>An update was interrupted: the working path may hold files of version %1 and of version %2</source>
        <translation>更新被中断：工作路径中可能同时有版本 %1 和版本 %2 的文件</translation>
    </message>
    <message>
        <source>Repairing the working path to the recorded version %1</source>
        <translation>正在将工作路径修复到记录的版本 %1</translation>
    </message>
    <message>
        <source>Finishing the interrupted task to version %1</source>
        <translation>正在完成被中断的任务，目标版本 %1</translation>
    </message>
    <message>
        <source>Resource download blocked: failed to load version %1: %2</source>
        <translation>资源下载被阻止：无法加载版本 %1：%2</translation>
    </message>
    <message>
        <source>Update Interrupted</source>
        <translation>更新被中断</translation>
    </message>
    <message>
        <source>An update was interrupted. A repair of version %1 did not finish, so some files in the working path may be damaged.

The repair will now be finished; the editor cannot be launched until it is.</source>
        <translation>更新被中断。版本 %1 的修复没有完成，工作路径中的部分文件可能已损坏。

现在将完成修复；修复完成前无法启动编辑器。</translation>
    </message>
    <message>
        <source>An update was interrupted. The working path may hold files of version %1 and of version %2, so the editor cannot be launched yet.

Yes: finish the update to version %2.
No: repair the files of version %1.</source>
        <translation>更新被中断。工作路径中可能同时有版本 %1 和版本 %2 的文件，因此暂时无法启动编辑器。

是：完成到版本 %2 的更新。
否：修复版本 %1 的文件。</translation>
    </message>
    <message>
        <source>Stopping version check...</source>
        <translation>正在停止版本检查...</translation>
    </message>
    <message>
        <source>User requested version check stop</source>
        <translation>用户请求停止版本检查</translation>
    </message>
    <message>
        <source>Stopping background task before exit...</source>
        <translation>正在退出前停止后台任务...</translation>
    </message>
    <message>
        <source>Application exit requested: stopping version check</source>
        <translation>已请求退出程序：正在停止版本检查</translation>
    </message>
    <message>
        <source>Stopping download...</source>
        <translation>正在停止下载...</translation>
    </message>
    <message>
        <source>User requested resource download stop</source>
        <translation>用户请求停止资源下载</translation>
    </message>
    <message>
        <source>Stopping download before exit...</source>
        <translation>正在退出前停止下载...</translation>
    </message>
    <message>
        <source>Application exit requested: stopping resource download</source>
        <translation>已请求退出程序：正在停止资源下载</translation>
    </message>
    <message>
        <source>Stopping repair...</source>
        <translation>正在停止修复...</translation>
    </message>
    <message>
        <source>User requested resource repair stop</source>
        <translation>用户请求停止资源修复</translation>
    </message>
    <message>
        <source>Stopping repair before exit...</source>
        <translation>正在退出前停止修复...</translation>
    </message>
    <message>
        <source>Application exit requested: stopping resource repair</source>
        <translation>已请求退出程序：正在停止资源修复</translation>
    </message>
    <message>
        <source>Stopping version switch...</source>
        <translation>正在停止版本切换...</translation>
    </message>
    <message>
        <source>User requested version switch stop</source>
        <translation>用户请求停止版本切换</translation>
    </message>
    <message>
        <source>Stopping version switch before exit...</source>
        <translation>正在退出前停止版本切换...</translation>
    </message>
    <message>
        <source>Application exit requested: stopping version switch</source>
        <translation>已请求退出程序：正在停止版本切换</translation>
    </message>
    <message>
        <source>Stopping rollback...</source>
        <translation>正在停止回滚...</translation>
    </message>
    <message>
        <source>User requested rollback stop</source>
        <translation>用户请求停止回滚</translation>
    </message>
    <message>
        <source>Stopping rollback before exit...</source>
        <translation>正在退出前停止回滚...</translation>
    </message>
    <message>
        <source>Application exit requested: stopping rollback</source>
        <translation>已请求退出程序：正在停止回滚</translation>
    </message>
    <message>
        <source>Stopping self-update preparation...</source>
        <translation>正在停止自更新准备...</translation>
    </message>
    <message>
        <source>User requested self-update preparation stop</source>
        <translation>用户请求停止自更新准备</translation>
    </message>
    <message>
        <source>Stopping self-update preparation before exit...</source>
        <translation>正在退出前停止自更新准备...</translation>
    </message>
    <message>
        <source>Application exit requested: stopping self-update preparation</source>
        <translation>已请求退出程序：正在停止自更新准备</translation>
    </message>
    <message>
        <source>Stopping preload...</source>
        <translation>正在停止预加载...</translation>
    </message>
    <message>
        <source>User requested preload stop</source>
        <translation>用户请求停止预加载</translation>
    </message>
    <message>
        <source>Fetched %1 in %2 requests</source>
        <translation>已获取 %1，共 %2 次请求</translation>
    </message>
    <message>
        <source>Resource version mismatch detected; resource repair is required</source>
        <translation>检测到资源版本不匹配；需要修复资源</translation>
    </message>
    <message>
        <source>Resource service unavailable</source>
        <translation>资源服务不可用</translation>
    </message>
    <message>
        <source>Active-process check warning: %1</source>
        <translation>活动进程检查警告：%1</translation>
    </message>
    <message>
        <source>Check update skipped: repair-only mode is active</source>
        <translation>已跳过检查更新：仅修复模式已启用</translation>
    </message>
    <message>
        <source>Check update skipped: resource service unavailable</source>
        <translation>已跳过检查更新：资源服务不可用</translation>
    </message>
    <message>
        <source>Check update started</source>
        <translation>已开始检查更新</translation>
    </message>
    <message>
        <source>Launcher cache guid/version mismatch detected; _cache/ifslauncher was cleared</source>
        <translation>检测到启动器缓存 guid/版本不匹配；已清空 _cache/ifslauncher</translation>
    </message>
    <message>
        <source>Version check stopped</source>
        <translation>版本检查已停止</translation>
    </message>
    <message>
        <source>Version check stopped by user</source>
        <translation>用户已停止版本检查</translation>
    </message>
    <message>
        <source>Check update failed</source>
        <translation>检查更新失败</translation>
    </message>
    <message>
        <source>Check update failed: %1</source>
        <translation>检查更新失败：%1</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>Launcher update available</source>
        <translation>有可用的启动器更新</translation>
    </message>
    <message>
        <source>Launcher self-update available before finalizing version check</source>
        <translation>完成版本检查前发现可用的启动器自更新</translation>
    </message>
    <message>
        <source>Launcher and resource updates available</source>
        <translation>启动器和资源均有可用更新</translation>
    </message>
    <message>
        <source>Check update finished: launcher and resources are already the newest version</source>
        <translation>检查更新完成：启动器和资源均已是最新版本</translation>
    </message>
    <message>
        <source>Resources are already the newest version; launcher check unavailable</source>
        <translation>资源已是最新版本；启动器检查不可用</translation>
    </message>
    <message>
        <source>Launcher update check unavailable: %1</source>
        <translation>启动器更新检查不可用：%1</translation>
    </message>
    <message>
        <source>unknown reason</source>
        <translation>未知原因</translation>
    </message>
    <message>
        <source>Download skipped: repair-only mode is active</source>
        <translation>已跳过下载：仅修复模式已启用</translation>
    </message>
    <message>
        <source>Download skipped: resource service unavailable</source>
        <translation>已跳过下载：资源服务不可用</translation>
    </message>
    <message>
        <source>Resource download blocked</source>
        <translation>资源下载被阻止</translation>
    </message>
    <message>
        <source>Resource download blocked: failed to load latest version info: %1</source>
        <translation>资源下载被阻止：无法加载最新版本信息：%1</translation>
    </message>
    <message>
        <source>Get Latest cancelled</source>
        <translation>已取消获取最新版本</translation>
    </message>
    <message>
        <source>Resource download cancelled before start after latest version confirmation</source>
        <translation>确认最新版本后、开始前已取消资源下载</translation>
    </message>
    <message>
        <source>Download blocked</source>
        <translation>下载被阻止</translation>
    </message>
    <message>
        <source>Resource download blocked: %1</source>
        <translation>资源下载被阻止：%1</translation>
    </message>
    <message>
        <source>resource download</source>
        <translation>资源下载</translation>
    </message>
    <message>
        <source>Resource download started</source>
        <translation>已开始资源下载</translation>
    </message>
    <message>
        <source>Using full download (requested)</source>
        <translation>使用完整下载（按要求）</translation>
    </message>
    <message>
        <source>Download skipped: already at latest version</source>
        <translation>已跳过下载：已是最新版本</translation>
    </message>
    <message>
        <source>Repair skipped: resource service unavailable</source>
        <translation>已跳过修复：资源服务不可用</translation>
    </message>
    <message>
        <source>failed to create current version service</source>
        <translation>无法创建当前版本的服务</translation>
    </message>
    <message>
        <source>Repair skipped: %1</source>
        <translation>已跳过修复：%1</translation>
    </message>
    <message>
        <source>Resource repair blocked: %1</source>
        <translation>资源修复被阻止：%1</translation>
    </message>
    <message>
        <source>Repair blocked</source>
        <translation>修复被阻止</translation>
    </message>
    <message>
        <source>resource repair</source>
        <translation>资源修复</translation>
    </message>
    <message>
        <source>Repair cancelled</source>
        <translation>修复已取消</translation>
    </message>
    <message>
        <source>Resource repair cancelled before start</source>
        <translation>资源修复在开始前已取消</translation>
    </message>
    <message>
        <source>Resource repair started</source>
        <translation>已开始资源修复</translation>
    </message>
    <message>
        <source>Version browse skipped: repair-only mode is active</source>
        <translation>已跳过版本浏览：仅修复模式已启用</translation>
    </message>
    <message>
        <source>Version browse skipped: resource service unavailable</source>
        <translation>已跳过版本浏览：资源服务不可用</translation>
    </message>
    <message>
        <source>Version switch failed to initialize target version</source>
        <translation>版本切换无法初始化目标版本</translation>
    </message>
    <message>
        <source>Failed to create version-bound file service for version %1: %2</source>
        <translation>为版本 %1 创建绑定版本的文件服务失败：%2</translation>
    </message>
    <message>
        <source>Version switch blocked</source>
        <translation>版本切换被阻止</translation>
    </message>
    <message>
        <source>Version switch blocked: %1</source>
        <translation>版本切换被阻止：%1</translation>
    </message>
    <message>
        <source>version switch</source>
        <translation>版本切换</translation>
    </message>
    <message>
        <source>Switching resource version...</source>
        <translation>正在切换资源版本...</translation>
    </message>
    <message>
        <source>Version switch started: %1 -&gt; %2</source>
        <translation>已开始版本切换：%1 -&gt; %2</translation>
    </message>
    <message>
        <source>Resource download stopped by user: %1</source>
        <translation>用户已停止资源下载：%1</translation>
    </message>
    <message>
        <source>download stopped by user</source>
        <translation>用户已停止下载</translation>
    </message>
    <message>
        <source>Resource download failed: %1</source>
        <translation>资源下载失败：%1</translation>
    </message>
    <message>
        <source>Resource download stopped by user</source>
        <translation>用户已停止资源下载</translation>
    </message>
    <message>
        <source>Download stopped, exiting...</source>
        <translation>下载已停止，正在退出...</translation>
    </message>
    <message>
        <source>Resource download stopped for application exit</source>
        <translation>资源下载已因退出程序而停止</translation>
    </message>
    <message>
        <source>Version switch failed</source>
        <translation>版本切换失败</translation>
    </message>
    <message>
        <source>Version switch stopped by user: %1</source>
        <translation>用户已停止版本切换：%1</translation>
    </message>
    <message>
        <source>version switch stopped by user</source>
        <translation>用户已停止版本切换</translation>
    </message>
    <message>
        <source>Version switch failed: %1</source>
        <translation>版本切换失败：%1</translation>
    </message>
    <message>
        <source>Version switch stopped</source>
        <translation>版本切换已停止</translation>
    </message>
    <message>
        <source>Version switch stopped by user</source>
        <translation>用户已停止版本切换</translation>
    </message>
    <message>
        <source>Version switch stopped, exiting...</source>
        <translation>版本切换已停止，正在退出...</translation>
    </message>
    <message>
        <source>Version switch stopped for application exit</source>
        <translation>版本切换已因退出程序而停止</translation>
    </message>
    <message>
        <source>repair stopped by user</source>
        <translation>用户已停止修复</translation>
    </message>
    <message>
        <source>Repair failed</source>
        <translation>修复失败</translation>
    </message>
    <message>
        <source>Resource repair stopped by user: %1 succeeded, %2 failed, last error: %3</source>
        <translation>用户已停止资源修复：成功 %1 个，失败 %2 个，最后的错误：%3</translation>
    </message>
    <message>
        <source>Resource repair failed: %1 succeeded, %2 failed, last error: %3</source>
        <translation>资源修复失败：成功 %1 个，失败 %2 个，最后的错误：%3</translation>
    </message>
    <message>
        <source>Repair stopped</source>
        <translation>修复已停止</translation>
    </message>
    <message>
        <source>Resource repair stopped by user</source>
        <translation>用户已停止资源修复</translation>
    </message>
    <message>
        <source>Repair stopped, exiting...</source>
        <translation>修复已停止，正在退出...</translation>
    </message>
    <message>
        <source>Resource repair stopped for application exit</source>
        <translation>资源修复已因退出程序而停止</translation>
    </message>
    <message>
        <source>Rollback skipped: no sync baseline; %1 file(s) already written are kept for the next download</source>
        <translation>已跳过回滚：没有同步基线；已写入的 %1 个文件将保留给下一次下载</translation>
    </message>
    <message>
        <source>Failed to read download sync tag after completion: %1</source>
        <translation>下载完成后读取同步标签失败：%1</translation>
    </message>
    <message>
        <source>Failed to read version switch sync tag after completion: %1</source>
        <translation>版本切换完成后读取同步标签失败：%1</translation>
    </message>
    <message>
        <source>Failed to read repair sync tag after completion: %1</source>
        <translation>修复完成后读取同步标签失败：%1</translation>
    </message>
    <message>
        <source>Failed to write the product version record: %1</source>
        <translation>写入产品版本记录失败：%1</translation>
    </message>
    <message>
        <source>Task took %1 ms, its worker %2 ms</source>
        <translation>任务耗时 %1 毫秒，其工作线程耗时 %2 毫秒</translation>
    </message>
    <message>
        <source>Warning: failed to switch primary file service to downloaded version %1: %2</source>
        <translation>警告：无法将主文件服务切换到已下载的版本 %1：%2</translation>
    </message>
    <message>
        <source>Primary file service switched to target version %1</source>
        <translation>主文件服务已切换到目标版本 %1</translation>
    </message>
    <message>
        <source>Warning: failed to switch primary file service to target version %1: %2</source>
        <translation>警告：无法将主文件服务切换到目标版本 %1：%2</translation>
    </message>
    <message>
        <source>Resource download completed successfully</source>
        <translation>资源下载成功完成</translation>
    </message>
    <message>
        <source>Resource download completed with %1 total weak replacement file(s) skipped</source>
        <translation>资源下载完成，共跳过 %1 个弱替换文件</translation>
    </message>
    <message>
        <source>Version switch complete</source>
        <translation>版本切换完成</translation>
    </message>
    <message>
        <source>Version switch completed: %1 replaced, %2 preserved</source>
        <translation>版本切换完成：已替换 %1 个，已保留 %2 个</translation>
    </message>
    <message>
        <source>Version switch completed with %1 total weak replacement file(s) skipped: %2 replaced, %3 preserved</source>
        <translation>版本切换完成，共跳过 %1 个弱替换文件：已替换 %2 个，已保留 %3 个</translation>
    </message>
    <message>
        <source>Task complete with weak replacement skips</source>
        <translation>任务完成（有弱替换跳过）</translation>
    </message>
    <message>
        <source>Kept %1, which version %2 does not hold: %3</source>
        <translation>已保留 %1（版本 %2 中不包含此文件）：%3</translation>
    </message>
    <message>
        <source>Removed %1, which version %2 does not hold</source>
        <translation>已移除 %1（版本 %2 中不包含此文件）</translation>
    </message>
    <message>
        <source>Removed %1 file(s) that version %2 does not hold</source>
        <translation>已移除 %1 个版本 %2 中不包含的文件</translation>
    </message>
    <message>
        <source>Weak replacement retry skipped by user: %1 file(s)</source>
        <translation>用户已跳过弱替换重试：%1 个文件</translation>
    </message>
    <message>
        <source>Weak replacement retry finished: %1 succeeded, %2 skipped</source>
        <translation>弱替换重试完成：成功 %1 个，跳过 %2 个</translation>
    </message>
    <message>
        <source>Logic error: rollback baseline unavailable when rollback should start</source>
        <translation>逻辑错误：应开始回滚时回滚基线不可用</translation>
    </message>
    <message>
        <source>rollback baseline unavailable</source>
        <translation>回滚基线不可用</translation>
    </message>
    <message>
        <source>Logic error: no applied files available when rollback should start</source>
        <translation>逻辑错误：应开始回滚时没有已应用的文件</translation>
    </message>
    <message>
        <source>Logic error: rollback work path invalid: %1</source>
        <translation>逻辑错误：回滚工作路径无效：%1</translation>
    </message>
    <message>
        <source>Logic error: failed to create rollback file service for version %1: %2</source>
        <translation>逻辑错误：为版本 %1 创建回滚文件服务失败：%2</translation>
    </message>
    <message>
        <source>primary file service unavailable</source>
        <translation>主文件服务不可用</translation>
    </message>
    <message>
        <source>Rollback started for %1 modified files</source>
        <translation>已开始回滚 %1 个已修改的文件</translation>
    </message>
    <message>
        <source>Rollback succeeded (%1 succeeded, %2 failed)</source>
        <translation>回滚成功（成功 %1 个，失败 %2 个）</translation>
    </message>
    <message>
        <source>Rollback stopped</source>
        <translation>回滚已停止</translation>
    </message>
    <message>
        <source>Rollback stopped: %1 succeeded, %2 failed, last status: %3</source>
        <translation>回滚已停止：成功 %1 个，失败 %2 个，最后状态：%3</translation>
    </message>
    <message>
        <source>stopped by user</source>
        <translation>被用户停止</translation>
    </message>
    <message>
        <source>rollback stopped</source>
        <translation>回滚已停止</translation>
    </message>
    <message>
        <source>Rollback failed</source>
        <translation>回滚失败</translation>
    </message>
    <message>
        <source>Rollback failed: %1 succeeded, %2 failed, last error: %3</source>
        <translation>回滚失败：成功 %1 个，失败 %2 个，最后的错误：%3</translation>
    </message>
    <message>
        <source>rollback failed</source>
        <translation>回滚失败</translation>
    </message>
    <message>
        <source>Failed to restore primary file service after rollback: %1</source>
        <translation>回滚后恢复主文件服务失败：%1</translation>
    </message>
    <message>
        <source>failed to restore primary file service</source>
        <translation>恢复主文件服务失败</translation>
    </message>
    <message>
        <source>The working path could not be restored (%1); resource repair is required</source>
        <translation>无法恢复工作路径（%1）；需要修复资源</translation>
    </message>
    <message>
        <source>Transfer resumed</source>
        <translation>传输已继续</translation>
    </message>
    <message>
        <source>Background task cleanup completed</source>
        <translation>后台任务清理完成</translation>
    </message>
    <message>
        <source>Background task is still stopping...</source>
        <translation>后台任务仍在停止...</translation>
    </message>
    <message>
        <source>Background task did not stop within timeout; cleanup will continue asynchronously</source>
        <translation>后台任务未在超时时间内停止；清理将在后台继续</translation>
    </message>
    <message>
        <source>Worker thread ended without a result</source>
        <translation>工作线程结束但没有结果</translation>
    </message>
    <message>
        <source>Failed: %1 - %2</source>
        <translation>失败：%1 - %2</translation>
    </message>
    <message>
        <source>Task blocked</source>
        <translation>任务被阻止</translation>
    </message>
    <message>
        <source>Failed to read the release information of version %1, nothing was changed: %2</source>
        <translation>读取版本 %1 的发布信息失败，未做任何更改：%2</translation>
    </message>
    <message>
        <source>An earlier task was interrupted; every file is compared with the store</source>
        <translation>之前的任务被中断；将把每个文件与资源仓库进行比较</translation>
    </message>
    <message>
        <source>Removed leftover temporary file: %1</source>
        <translation>已移除残留的临时文件：%1</translation>
    </message>
    <message>
        <source>Preload task is empty</source>
        <translation>预加载任务为空</translation>
    </message>
    <message>
        <source>Preload start skipped: todo list is empty</source>
        <translation>已跳过预加载：待办列表为空</translation>
    </message>
    <message>
        <source>preload task</source>
        <translation>预加载任务</translation>
    </message>
    <message>
        <source>Preload start blocked: failed to initialize product file service: %1</source>
        <translation>预加载启动被阻止：初始化产品文件服务失败：%1</translation>
    </message>
    <message>
        <source>Preparing preload task...</source>
        <translation>正在准备预加载任务...</translation>
    </message>
    <message>
        <source>Preload task started</source>
        <translation>已开始预加载任务</translation>
    </message>
    <message>
        <source>Preload finished: %1 succeeded, %2 skipped</source>
        <translation>预加载完成：成功 %1 个，跳过 %2 个</translation>
    </message>
    <message>
        <source>Preload stopped: %1 succeeded, %2 skipped</source>
        <translation>预加载已停止：成功 %1 个，跳过 %2 个</translation>
    </message>
    <message>
        <source>Preload failed: %1</source>
        <translation>预加载失败：%1</translation>
    </message>
    <message>
        <source>Directory reconcile complete</source>
        <translation>目录校正完成</translation>
    </message>
    <message>
        <source>Directory reconcile unavailable</source>
        <translation>目录校正不可用</translation>
    </message>
    <message>
        <source>Directory reconcile skipped</source>
        <translation>已跳过目录校正</translation>
    </message>
    <message>
        <source>No directory differences</source>
        <translation>目录没有差异</translation>
    </message>
    <message>
        <source>Directory reconcile cancelled</source>
        <translation>目录校正已取消</translation>
    </message>
    <message>
        <source>Directory reconcile scan failed</source>
        <translation>目录校正扫描失败</translation>
    </message>
    <message>
        <source>Directory reconcile failed</source>
        <translation>目录校正失败</translation>
    </message>
    <message>
        <source>Directory reconcile skipped: repair-only mode is active</source>
        <translation>已跳过目录校正：仅修复模式已启用</translation>
    </message>
    <message>
        <source>Directory reconcile skipped: resource service unavailable</source>
        <translation>已跳过目录校正：资源服务不可用</translation>
    </message>
    <message>
        <source>Directory reconcile blocked</source>
        <translation>目录校正被阻止</translation>
    </message>
    <message>
        <source>Directory reconcile blocked: %1</source>
        <translation>目录校正被阻止：%1</translation>
    </message>
    <message>
        <source>Directory reconcile started</source>
        <translation>已开始目录校正</translation>
    </message>
    <message>
        <source>Scanning selected directories...</source>
        <translation>正在扫描所选目录...</translation>
    </message>
    <message>
        <source>Waiting for reconcile confirmation...</source>
        <translation>正在等待确认校正...</translation>
    </message>
    <message>
        <source>Applying directory reconcile...</source>
        <translation>正在应用目录校正...</translation>
    </message>
    <message>
        <source>Directory reconcile left a link alone: %1</source>
        <translation>目录校正未处理链接：%1</translation>
    </message>
    <message>
        <source>Directory reconcile refused a path outside its plan: %1</source>
        <translation>目录校正拒绝了计划之外的路径：%1</translation>
    </message>
    <message>
        <source>Directory reconcile left a file alone that changed after the scan: %1</source>
        <translation>目录校正未处理扫描后发生变化的文件：%1</translation>
    </message>
    <message>
        <source>%1 does not exist</source>
        <translation>%1 不存在</translation>
    </message>
    <message>
        <source>%1 is not executable</source>
        <translation>%1 不可执行</translation>
    </message>
    <message>
        <source>%1 could not be executed</source>
        <translation>无法执行 %1</translation>
    </message>
    <message>
        <source>Launcher self-update skipped after IDE resource initialization failure</source>
        <translation>IDE 资源初始化失败后已跳过启动器自更新</translation>
    </message>
    <message>
        <source>IDE resource initialization failed. Launcher self-update was skipped by user.</source>
        <translation>IDE 资源初始化失败。用户已跳过启动器自更新。</translation>
    </message>
    <message>
        <source>Launcher update skipped</source>
        <translation>已跳过启动器更新</translation>
    </message>
    <message>
        <source>Checking launcher update...</source>
        <translation>正在检查启动器更新...</translation>
    </message>
    <message>
        <source>Launcher-only update check started because IDE resource initialization failed</source>
        <translation>由于 IDE 资源初始化失败，已开始仅检查启动器更新</translation>
    </message>
    <message>
        <source>Launcher update check failed</source>
        <translation>启动器更新检查失败</translation>
    </message>
    <message>
        <source>Launcher update check failed: %1</source>
        <translation>启动器更新检查失败：%1</translation>
    </message>
    <message>
        <source>Launcher cache guid mismatch detected; _cache/ifslauncher was cleared</source>
        <translation>检测到启动器缓存 guid 不匹配；已清空 _cache/ifslauncher</translation>
    </message>
    <message>
        <source>Launcher self-update available after IDE resource initialization failure</source>
        <translation>IDE 资源初始化失败后发现可用的启动器自更新</translation>
    </message>
    <message>
        <source>Launcher-only update check finished: launcher is already the newest version</source>
        <translation>仅启动器更新检查完成：启动器已是最新版本</translation>
    </message>
    <message>
        <source>IDE resource initialization failed, but launcher is already the newest version.</source>
        <translation>IDE 资源初始化失败，但启动器已是最新版本。</translation>
    </message>
    <message>
        <source>Launcher is already the newest version</source>
        <translation>启动器已是最新版本</translation>
    </message>
    <message>
        <source>Self-update skipped: launcher files are already the newest version</source>
        <translation>已跳过自更新：启动器文件已是最新版本</translation>
    </message>
    <message>
        <source>Updater prepared successfully: %1</source>
        <translation>更新程序准备成功：%1</translation>
    </message>
    <message>
        <source>Building update package...</source>
        <translation>正在构建更新包...</translation>
    </message>
    <message>
        <source>Self-update package build started</source>
        <translation>已开始构建自更新包</translation>
    </message>
    <message>
        <source>Preparing updater...</source>
        <translation>正在准备更新程序...</translation>
    </message>
    <message>
        <source>Self-update updater replacement started</source>
        <translation>自更新：已开始替换更新程序</translation>
    </message>
    <message>
        <source>Self-update preparation stopped</source>
        <translation>自更新准备已停止</translation>
    </message>
    <message>
        <source>Self-update preparation stopped by user</source>
        <translation>用户已停止自更新准备</translation>
    </message>
    <message>
        <source>Failed to prepare updater</source>
        <translation>准备更新程序失败</translation>
    </message>
    <message>
        <source>Failed to prepare updater: %1</source>
        <translation>准备更新程序失败：%1</translation>
    </message>
    <message>
        <source>Failed to build update package</source>
        <translation>构建更新包失败</translation>
    </message>
    <message>
        <source>Preparing to launch updater...</source>
        <translation>正在准备启动更新程序...</translation>
    </message>
    <message>
        <source>Update package built successfully: %1</source>
        <translation>更新包构建成功：%1</translation>
    </message>
    <message>
        <source>Failed to launch updater</source>
        <translation>启动更新程序失败</translation>
    </message>
    <message>
        <source>Failed to launch updater: %1</source>
        <translation>启动更新程序失败：%1</translation>
    </message>
    <message>
        <source>Updater launched: %1</source>
        <translation>已启动更新程序：%1</translation>
    </message>
    <message>
        <source>A newer resource version is available.

Latest version: %1

Do you want to start downloading it now?</source>
        <translation>有较新的资源版本可用。

最新版本：%1

是否立即开始下载？</translation>
    </message>
    <message>
        <source>Active Process Detected</source>
        <translation>检测到活动进程</translation>
    </message>
    <message>
        <source>Cannot start %1 because the following active processes belong to the current working path. Please close them and try again.

%2</source>
        <translation>无法启动 %1，因为以下活动进程属于当前工作路径。请关闭它们后重试。

%2</translation>
    </message>
    <message>
        <source>The launcher files differ from the latest server version. Do you want to update the launcher now before completing startup?</source>
        <translation>启动器文件与服务器上的最新版本不同。是否在完成启动前立即更新启动器？</translation>
    </message>
    <message>
        <source>The launcher files differ from the latest server version. Do you want to update the launcher now?</source>
        <translation>启动器文件与服务器上的最新版本不同。是否立即更新启动器？</translation>
    </message>
    <message>
        <source>Directory Reconcile</source>
        <translation>目录校正</translation>
    </message>
    <message>
        <source>The selected directories already match the server version.</source>
        <translation>所选目录已与服务器版本一致。</translation>
    </message>
    <message>
        <source>Working path is empty</source>
        <translation>工作路径为空</translation>
    </message>
    <message>
        <source>Working path is not a directory: %1</source>
        <translation>工作路径不是目录：%1</translation>
    </message>
    <message>
        <source>Failed to create working path: %1</source>
        <translation>创建工作路径失败：%1</translation>
    </message>
    <message>
        <source>Working path is not writable: %1</source>
        <translation>工作路径不可写：%1</translation>
    </message>
    <message>
        <source>Repair complete: %1 files restored, %2 already correct</source>
        <translation>修复完成：已恢复 %1 个文件，%2 个文件本已正确</translation>
    </message>
    <message>
        <source>Repair complete with weak replacement skips: %1 files restored, %2 already correct</source>
        <translation>修复完成，但有弱替换文件被跳过：已恢复 %1 个文件，%2 个文件本已正确</translation>
    </message>
    <message>
        <source>Resource repair completed: %1 files restored, %2 already correct</source>
        <translation>资源修复完成：已恢复 %1 个文件，%2 个文件本已正确</translation>
    </message>
    <message>
        <source>Resource repair completed with %1 total weak replacement file(s) skipped: %2 files restored, %3 already correct</source>
        <translation>资源修复完成，共跳过 %1 个弱替换文件：已恢复 %2 个文件，%3 个文件本已正确</translation>
    </message>
    <message>
        <source>The version record could not be written; resource repair is required</source>
        <translation>无法写入版本记录；需要修复资源</translation>
    </message>
    <message>
        <source>Directory reconcile: plan only, nothing changed</source>
        <translation>目录校正：仅显示计划，未做任何更改</translation>
    </message>
    <message>
        <source>Stopped: %1</source>
        <translation>已停止：%1</translation>
    </message>
    <message>
        <source>Download refused: the server offers an older version</source>
        <translation>已拒绝下载：服务器提供的是较旧的版本</translation>
    </message>
    <message>
        <source>Resource download refused: the server&apos;s latest version v%1 is older than the installed version v%2; switch to an older version explicitly to go back</source>
        <translation>已拒绝资源下载：服务器的最新版本 v%1 比已安装的版本 v%2 旧；如需回退，请明确切换到较旧的版本</translation>
    </message>
</context>
<context>
    <name>OrvelLauncherSession</name>
    <message>
        <source>Checking FileService startup state...</source>
        <translation>正在检查文件服务启动状态...</translation>
    </message>
    <message>
        <source>Please complete initial settings to continue startup.</source>
        <translation>请完成初始设置以继续启动。</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Resource service unavailable</source>
        <translation>资源服务不可用</translation>
    </message>
    <message>
        <source>IDE resource initialization is unavailable. Resource actions are disabled, but offline launch remains available.</source>
        <translation>IDE 资源初始化不可用。资源操作已禁用，但仍可离线启动。</translation>
    </message>
    <message>
        <source>Limited Mode</source>
        <translation>受限模式</translation>
    </message>
    <message>
        <source>Resource version mismatch detected. Resource repair is required before update features can be used.</source>
        <translation>检测到资源版本不匹配。使用更新功能前需要修复资源。</translation>
    </message>
    <message>
        <source>Recorded resource sync state mismatched the current Corvane state. Switched to latest version and enabled repair-only mode.</source>
        <translation>记录的资源同步状态与当前 Corvane 状态不一致。已切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Removed %1 cache item(s) from _cache and rebuilt Corvane reader for repair-only startup.</source>
        <translation>已从 _cache 删除 %1 个缓存项，并为仅修复启动重建了 Corvane 读取器。</translation>
    </message>
    <message>
        <source>Startup settings unavailable</source>
        <translation>启动设置不可用</translation>
    </message>
    <message>
        <source>Launcher started in normal mode</source>
        <translation>启动器已以正常模式启动</translation>
    </message>
    <message>
        <source>Launcher started in limited mode</source>
        <translation>启动器已以受限模式启动</translation>
    </message>
    <message>
        <source>Launcher started in repair-only latest mode</source>
        <translation>启动器已以仅修复最新版本模式启动</translation>
    </message>
</context>
<context>
    <name>OrvelMainWindow</name>
    <message>
        <source>QHalvaneLauncher</source>
        <translation>QHalvaneLauncher</translation>
    </message>
    <message>
        <source>Update Notice</source>
        <translation>更新公告</translation>
    </message>
    <message>
        <source>Version Browse</source>
        <translation>版本浏览</translation>
    </message>
    <message>
        <source>Repair Files</source>
        <translation>修复文件</translation>
    </message>
    <message>
        <source>Directory Reconcile</source>
        <translation>目录校正</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Get Latest</source>
        <translation>获取最新版本</translation>
    </message>
    <message>
        <source>Preload</source>
        <translation>预加载</translation>
    </message>
    <message>
        <source>Launch Tool</source>
        <translation>启动工具</translation>
    </message>
    <message>
        <source>Minimize</source>
        <translation>最小化</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Newer version</source>
        <translation>较新版本</translation>
    </message>
    <message>
        <source>Older version</source>
        <translation>较旧版本</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>继续</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>暂停</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>停止</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>The release notes appear here after the update check.</source>
        <translation>检查更新后，发布说明将显示在这里。</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>正在下载</translation>
    </message>
    <message>
        <source>Repairing</source>
        <translation>正在修复</translation>
    </message>
    <message>
        <source>Speed: </source>
        <translation>速度：</translation>
    </message>
    <message>
        <source>Launcher Version &lt;None&gt;</source>
        <translation>启动器版本 &lt;无&gt;</translation>
    </message>
    <message>
        <source>Launcher Version v%1</source>
        <translation>启动器版本 v%1</translation>
    </message>
    <message>
        <source>IDE Version v%1</source>
        <translation>IDE 版本 v%1</translation>
    </message>
    <message>
        <source>IDE Version &lt;None&gt;</source>
        <translation>IDE 版本 &lt;无&gt;</translation>
    </message>
    <message>
        <source>Another background task is still running</source>
        <translation>另一个后台任务仍在运行</translation>
    </message>
    <message>
        <source>Stop Current Task</source>
        <translation>停止当前任务</translation>
    </message>
    <message>
        <source>Are you sure you want to stop the current task?</source>
        <translation>确定要停止当前任务吗？</translation>
    </message>
    <message>
        <source>Confirm Close</source>
        <translation>确认关闭</translation>
    </message>
    <message>
        <source>A background task is still running. Are you sure you want to close the launcher?</source>
        <translation>后台任务仍在运行。确定要关闭启动器吗？</translation>
    </message>
    <message>
        <source>%1% (%2)</source>
        <translation>%1%（%2）</translation>
    </message>
</context>
<context>
    <name>OrvelNativeFile</name>
    <message>
        <source>System error %1</source>
        <translation>系统错误 %1</translation>
    </message>
    <message>
        <source>%1 (error code: %2)</source>
        <translation>%1（错误代码：%2）</translation>
    </message>
    <message>
        <source>Windows error %1</source>
        <translation>Windows 错误 %1</translation>
    </message>
</context>
<context>
    <name>OrvelOperationWorkerBase</name>
    <message>
        <source>Download limit was not applied; continuing task: file service unavailable</source>
        <translation>未应用下载限速，任务继续：文件服务不可用</translation>
    </message>
    <message>
        <source>Failed to set download limit speed: %1 B/s</source>
        <translation>设置下载限速失败：%1 B/s</translation>
    </message>
    <message>
        <source>Download limit was not applied; continuing task: %1</source>
        <translation>未应用下载限速，任务继续：%1</translation>
    </message>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>Failed to flush written files to disk: %1</source>
        <translation>将已写入的文件刷新到磁盘失败：%1</translation>
    </message>
    <message>
        <source>(%2/%3) Removing file %1</source>
        <translation>(%2/%3) 正在移除文件 %1</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source>(%2/%3) Comparing file %1</source>
        <translation>(%2/%3) 正在比较文件 %1</translation>
    </message>
</context>
<context>
    <name>OrvelPackageBuilder</name>
    <message>
        <source>No files to package</source>
        <translation>没有需要打包的文件</translation>
    </message>
    <message>
        <source>Cannot package unsafe relative path: %1</source>
        <translation>无法打包不安全的相对路径：%1</translation>
    </message>
    <message>
        <source>Cannot package the same file twice: %1</source>
        <translation>无法重复打包同一文件：%1</translation>
    </message>
    <message>
        <source>Cannot package missing file: %1</source>
        <translation>无法打包不存在的文件：%1</translation>
    </message>
    <message>
        <source>Cannot read file: %1</source>
        <translation>无法读取文件：%1</translation>
    </message>
    <message>
        <source>Failed to read file for hashing: %1</source>
        <translation>读取文件以计算哈希失败：%1</translation>
    </message>
    <message>
        <source>Cannot create output file: %1</source>
        <translation>无法创建输出文件：%1</translation>
    </message>
    <message>
        <source>Failed to write package data for in-memory file: %1</source>
        <translation>写入内存文件的包数据失败：%1</translation>
    </message>
    <message>
        <source>Failed to read file: %1</source>
        <translation>读取文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to write package data for file: %1</source>
        <translation>写入文件的包数据失败：%1</translation>
    </message>
</context>
<context>
    <name>OrvelPackageReader</name>
    <message>
        <source>Cannot open update package: %1</source>
        <translation>无法打开更新包：%1</translation>
    </message>
    <message>
        <source>Cannot read package signature</source>
        <translation>无法读取更新包签名</translation>
    </message>
    <message>
        <source>Invalid update package signature</source>
        <translation>更新包签名无效</translation>
    </message>
    <message>
        <source>Unsupported package version: %1</source>
        <translation>不支持的更新包版本：%1</translation>
    </message>
    <message>
        <source>Update package size verification failed</source>
        <translation>更新包大小校验失败</translation>
    </message>
    <message>
        <source>Cannot read file path</source>
        <translation>无法读取文件路径</translation>
    </message>
    <message>
        <source>Update package file table is truncated at: %1</source>
        <translation>更新包文件表在此处被截断：%1</translation>
    </message>
    <message>
        <source>Update package file path is not a safe relative path: %1</source>
        <translation>更新包中的文件路径不是安全的相对路径：%1</translation>
    </message>
    <message>
        <source>Update package holds the same file twice: %1</source>
        <translation>更新包中同一文件出现了两次：%1</translation>
    </message>
    <message>
        <source>Update package file count mismatch: expected %1, actual %2</source>
        <translation>更新包文件数量不匹配：应为 %1，实际为 %2</translation>
    </message>
    <message>
        <source>Update package file offset out of range: %1</source>
        <translation>更新包文件偏移超出范围：%1</translation>
    </message>
    <message>
        <source>Update package file offsets are not ordered: %1</source>
        <translation>更新包文件偏移顺序错误：%1</translation>
    </message>
    <message>
        <source>Invalid file index</source>
        <translation>无效的文件索引</translation>
    </message>
    <message>
        <source>Cannot create directory: %1</source>
        <translation>无法创建目录：%1</translation>
    </message>
    <message>
        <source>Cannot seek to file data: %1</source>
        <translation>无法定位到文件数据：%1</translation>
    </message>
    <message>
        <source>Cannot create file: %1</source>
        <translation>无法创建文件：%1</translation>
    </message>
    <message>
        <source>Failed to read file data: %1</source>
        <translation>读取文件数据失败：%1</translation>
    </message>
    <message>
        <source>Failed to write target file: %1</source>
        <translation>写入目标文件失败：%1</translation>
    </message>
    <message>
        <source>Update package hash mismatch: %1</source>
        <translation>更新包哈希不匹配：%1</translation>
    </message>
    <message>
        <source>Update package content does not match its SHA-256: %1</source>
        <translation>更新包内容与其 SHA-256 不符：%1</translation>
    </message>
    <message>
        <source>Update package is not open</source>
        <translation>更新包未打开</translation>
    </message>
    <message>
        <source>Update package file would be written outside the target directory: %1</source>
        <translation>更新包中的文件将被写到目标目录之外：%1</translation>
    </message>
</context>
<context>
    <name>OrvelPreload</name>
    <message>
        <source>Failed to parse preload table JSON: %1</source>
        <translation>解析预加载表 JSON 失败：%1</translation>
    </message>
    <message>
        <source>Preload table JSON root must be an array</source>
        <translation>预加载表 JSON 的根必须是数组</translation>
    </message>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>File too large: %1 (%2 bytes, at most %3)</source>
        <translation>文件过大：%1（%2 字节，最多 %3 字节）</translation>
    </message>
</context>
<context>
    <name>OrvelPreloadPageWidget</name>
    <message>
        <source>Back</source>
        <translation>返回</translation>
    </message>
    <message>
        <source>search...</source>
        <translation>搜索...</translation>
    </message>
    <message>
        <source>Start Execution</source>
        <translation>开始执行</translation>
    </message>
    <message>
        <source>Failed to initialize preload file service: %1</source>
        <translation>预加载文件服务初始化失败：%1</translation>
    </message>
    <message>
        <source>Preload file service initialized: %1</source>
        <translation>预加载文件服务已初始化：%1</translation>
    </message>
    <message>
        <source>Failed to read %1: %2</source>
        <translation>读取 %1 失败：%2</translation>
    </message>
    <message>
        <source>Preload table: %1 item(s) with an unsafe name refused</source>
        <translation>预加载表：已拒绝 %1 个名称不安全的项目</translation>
    </message>
    <message>
        <source>Loaded %1 preload item(s)</source>
        <translation>已加载 %1 个预加载项目</translation>
    </message>
    <message>
        <source>Visible preload item count: %1</source>
        <translation>可见预加载项目数：%1</translation>
    </message>
    <message>
        <source>Search applied: %1 match(es)</source>
        <translation>已应用搜索：%1 个匹配</translation>
    </message>
    <message>
        <source>%1 item(s)</source>
        <translation>%1 个项目</translation>
    </message>
    <message>
        <source>Preload item queued: %1</source>
        <translation>预加载项目已加入队列：%1</translation>
    </message>
    <message>
        <source>Preload item removed: %1</source>
        <translation>预加载项目已移除：%1</translation>
    </message>
    <message>
        <source>Preload execution config path is empty</source>
        <translation>预加载执行配置路径为空</translation>
    </message>
    <message>
        <source>Product execution config path is empty</source>
        <translation>产品执行配置路径为空</translation>
    </message>
    <message>
        <source>Preload start skipped: todo list is empty</source>
        <translation>已跳过预加载：待办列表为空</translation>
    </message>
</context>
<context>
    <name>OrvelPreloadWorker</name>
    <message>
        <source>Preparing preload task...</source>
        <translation>正在准备预加载任务...</translation>
    </message>
    <message>
        <source>Preload config path is empty</source>
        <translation>预加载配置路径为空</translation>
    </message>
    <message>
        <source>Product file service is unavailable</source>
        <translation>产品文件服务不可用</translation>
    </message>
    <message>
        <source>Failed to initialize preload file service: %1</source>
        <translation>预加载文件服务初始化失败：%1</translation>
    </message>
    <message>
        <source>Failed to initialize product file service: %1</source>
        <translation>产品文件服务初始化失败：%1</translation>
    </message>
    <message>
        <source>Preload worker interrupted</source>
        <translation>预加载工作线程被中断</translation>
    </message>
    <message>
        <source>Reading preload list: %1</source>
        <translation>正在读取预加载列表：%1</translation>
    </message>
    <message>
        <source>Preload list has no valid resource path: %1</source>
        <translation>预加载列表中没有有效的资源路径：%1</translation>
    </message>
    <message>
        <source>Failed to read %1: %2</source>
        <translation>读取 %1 失败：%2</translation>
    </message>
    <message>
        <source>Preload list %1: %2 unsafe resource path(s) refused</source>
        <translation>预加载列表 %1：已拒绝 %2 个不安全的资源路径</translation>
    </message>
    <message>
        <source>Preload plan has no valid resource path</source>
        <translation>预加载计划中没有有效的资源路径</translation>
    </message>
    <message>
        <source>Preload plan ready: %1 file(s)</source>
        <translation>预加载计划已就绪：%1 个文件</translation>
    </message>
    <message>
        <source>(%1/%2) Preloading %3 (%4)</source>
        <translation>(%1/%2) 正在预加载 %3（%4）</translation>
    </message>
    <message>
        <source>Preloaded: %1 (%2 file(s))</source>
        <translation>已预加载：%1（%2 个文件）</translation>
    </message>
    <message>
        <source>Preload worker finished</source>
        <translation>预加载工作线程已完成</translation>
    </message>
</context>
<context>
    <name>OrvelReconcilePlanDialog</name>
    <message>
        <source>Confirm Directory Reconcile Plan</source>
        <translation>确认目录校正计划</translation>
    </message>
    <message>
        <source>Select the files to revert to the server version or delete from the local directory.</source>
        <translation>选择要还原为服务器版本或从本地目录删除的文件。</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>文件名</translation>
    </message>
    <message>
        <source>Revert to server version</source>
        <translation>还原为服务器版本</translation>
    </message>
    <message>
        <source>Delete extra local files</source>
        <translation>删除多余的本地文件</translation>
    </message>
    <message>
        <source>Apply Selected Changes</source>
        <translation>应用所选更改</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1（%2）</translation>
    </message>
</context>
<context>
    <name>OrvelRepairWorker</name>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>Working path is empty</source>
        <translation>工作路径为空</translation>
    </message>
    <message>
        <source>(%2/%3) Skipping linked file %1</source>
        <translation>(%2/%3) 跳过链接文件 %1</translation>
    </message>
    <message>
        <source>(%2/%3) Repairing file %1</source>
        <translation>(%2/%3) 正在修复文件 %1</translation>
    </message>
</context>
<context>
    <name>OrvelSettingsDialog</name>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Working Path:</source>
        <translation>工作路径：</translation>
    </message>
    <message>
        <source>Select Working Path</source>
        <translation>选择工作路径</translation>
    </message>
    <message>
        <source>Open Working Path in Explorer</source>
        <translation>在资源管理器中打开工作路径</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>语言：</translation>
    </message>
    <message>
        <source>Download Limit:</source>
        <translation>下载限速：</translation>
    </message>
    <message>
        <source>Unlimited</source>
        <translation>不限速</translation>
    </message>
    <message>
        <source>%1 MB/s</source>
        <translation>%1 MB/s</translation>
    </message>
    <message>
        <source>Run in background when closed</source>
        <translation>关闭时在后台运行</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Working path cannot be the parent directory of the launcher executable: %1</source>
        <translation>工作路径不能是启动器程序所在目录的上级目录：%1</translation>
    </message>
    <message>
        <source>Store:</source>
        <translation>资源库：</translation>
    </message>
</context>
<context>
    <name>OrvelStaleFiles</name>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>it is reached through a link</source>
        <translation>经由链接访问</translation>
    </message>
    <message>
        <source>it is not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <source>it could not be compared with the store: %1</source>
        <translation>无法与资源仓库比较：%1</translation>
    </message>
    <message>
        <source>it is not what the store published (made or changed here)</source>
        <translation>与资源仓库发布的内容不同（在本地创建或修改过）</translation>
    </message>
    <message>
        <source>it changed while it was compared</source>
        <translation>比较期间发生了变化</translation>
    </message>
    <message>
        <source>Failed to remove a file the target version does not hold: %1</source>
        <translation>移除目标版本不包含的文件失败：%1</translation>
    </message>
</context>
<context>
    <name>OrvelStartup</name>
    <message>
        <source>The product record named no working path; it is taken as the record of %1</source>
        <translation>产品记录未注明工作路径；将其视为 %1 的记录</translation>
    </message>
    <message>
        <source>The product record belongs to working path %1; %2 has no record yet</source>
        <translation>产品记录属于工作路径 %1；%2 尚无记录</translation>
    </message>
    <message>
        <source>Failed to remove repair-only cache entry: %1</source>
        <translation>删除仅修复缓存条目失败：%1</translation>
    </message>
    <message>
        <source>Failed to remove repair-only cache directory: %1</source>
        <translation>删除仅修复缓存目录失败：%1</translation>
    </message>
    <message>
        <source>Repair-only startup removed %1 cache item(s) from _cache</source>
        <translation>仅修复启动已从 _cache 删除 %1 个缓存项</translation>
    </message>
    <message>
        <source>Failed to clear %1 cache item(s) from _cache before rebuild</source>
        <translation>重建前清除 _cache 中的 %1 个缓存项失败</translation>
    </message>
    <message>
        <source>Failed to initialize Corvane: %1</source>
        <translation>初始化 Corvane 失败：%1</translation>
    </message>
    <message>
        <source>Repair-only startup rebuilt Corvane reader with latest version after clearing _cache</source>
        <translation>仅修复启动在清空 _cache 后已用最新版本重建 Corvane 读取器</translation>
    </message>
    <message>
        <source>Configuration file not found: %1</source>
        <translation>未找到配置文件：%1</translation>
    </message>
    <message>
        <source>Failed to open current sync version file: %1</source>
        <translation>打开当前同步版本文件失败：%1</translation>
    </message>
    <message>
        <source>Failed to initialize Corvane with the recorded version. Switched to latest version and enabled repair-only mode.</source>
        <translation>使用记录的版本初始化 Corvane 失败。已切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Failed to initialize Corvane with recorded version %1; switching to latest version and enabling repair-only mode: %2</source>
        <translation>使用记录的版本 %1 初始化 Corvane 失败；正在切换到最新版本并启用仅修复模式：%2</translation>
    </message>
    <message>
        <source>PakInfo reported that the recorded version cache is expired. Switched to latest version and enabled repair-only mode.</source>
        <translation>PakInfo 报告记录版本的缓存已过期。已切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>PakInfo metadata for the recorded version is missing. Switched to latest version and enabled repair-only mode.</source>
        <translation>缺少记录版本的 PakInfo 元数据。已切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Recorded version %1 PakInfo status requires repair-only startup: %2</source>
        <translation>记录的版本 %1 的 PakInfo 状态要求以仅修复模式启动：%2</translation>
    </message>
    <message>
        <source>Failed to read resource sync tag from Corvane: %1</source>
        <translation>从 Corvane 读取资源同步标签失败：%1</translation>
    </message>
    <message>
        <source>Corvane initialized successfully with recorded version %1</source>
        <translation>已使用记录的版本 %1 成功初始化 Corvane</translation>
    </message>
    <message>
        <source>Recorded resource sync state mismatched the current Corvane state. Switched to latest version and enabled repair-only mode.</source>
        <translation>记录的资源同步状态与当前 Corvane 状态不一致。已切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Recorded resource sync state mismatched actual Corvane state; switched to latest version and entered repair-only mode. Recorded version=%1 actual version=%2 recorded tag=%3 actual tag=%4</source>
        <translation>记录的资源同步状态与实际 Corvane 状态不一致；已切换到最新版本并进入仅修复模式。记录的版本=%1 实际版本=%2 记录的标签=%3 实际标签=%4</translation>
    </message>
    <message>
        <source>Recorded resource sync state is unavailable. Switched to latest version and enabled repair-only mode.</source>
        <translation>记录的资源同步状态不可用。已切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Recorded resource sync state is unavailable; switching to latest version and enabling repair-only mode.</source>
        <translation>记录的资源同步状态不可用；正在切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Recorded resource sync tag is empty for version %1; switching to latest version and enabling repair-only mode.</source>
        <translation>版本 %1 记录的资源同步标签为空；正在切换到最新版本并启用仅修复模式。</translation>
    </message>
    <message>
        <source>Corvane initialized successfully with latest version</source>
        <translation>已使用最新版本成功初始化 Corvane</translation>
    </message>
</context>
<context>
    <name>OrvelStorePath</name>
    <message>
        <source>Unsafe store path refused: %1 (%2)</source>
        <translation>已拒绝不安全的存储路径：%1（%2）</translation>
    </message>
    <message>
        <source>empty path</source>
        <translation>空路径</translation>
    </message>
    <message>
        <source>NUL character</source>
        <translation>NUL 字符</translation>
    </message>
    <message>
        <source>absolute path</source>
        <translation>绝对路径</translation>
    </message>
    <message>
        <source>drive</source>
        <translation>驱动器</translation>
    </message>
    <message>
        <source>empty component</source>
        <translation>空的路径段</translation>
    </message>
    <message>
        <source>&quot;%1&quot; component</source>
        <translation>“%1”路径段</translation>
    </message>
    <message>
        <source>&quot;:&quot; in a name</source>
        <translation>名称中含有“:”</translation>
    </message>
    <message>
        <source>Unsafe store path refused: %1 (leaves %2)</source>
        <translation>已拒绝不安全的存储路径：%1（超出 %2）</translation>
    </message>
</context>
<context>
    <name>OrvelStoreProbe</name>
    <message>
        <source>host name not found</source>
        <translation>找不到主机名</translation>
    </message>
    <message>
        <source>connection refused</source>
        <translation>连接被拒绝</translation>
    </message>
    <message>
        <source>no answer in time</source>
        <translation>服务器未及时响应</translation>
    </message>
    <message>
        <source>HTTP 404: no store at this address</source>
        <translation>HTTP 404：此地址没有资源仓库</translation>
    </message>
    <message>
        <source>HTTP %1</source>
        <translation>HTTP %1</translation>
    </message>
    <message>
        <source>the answer is not a store</source>
        <translation>服务器的应答不是资源仓库</translation>
    </message>
</context>
<context>
    <name>OrvelTransferProgress</name>
    <message>
        <source>%1 s</source>
        <translation>%1 秒</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 分 %2 秒</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 小时 %2 分</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation>剩余 %1</translation>
    </message>
</context>
<context>
    <name>OrvelTrayIcon</name>
    <message>
        <source>QHalvaneLauncher v1.0.0</source>
        <translation>QHalvaneLauncher v1.0.0</translation>
    </message>
    <message>
        <source>Show Main Window</source>
        <translation>显示主窗口</translation>
    </message>
    <message>
        <source>Exit Program</source>
        <translation>退出程序</translation>
    </message>
</context>
<context>
    <name>OrvelUpdaterWindow</name>
    <message>
        <source>OrvelUpdater - Updating</source>
        <translation>OrvelUpdater - 正在更新</translation>
    </message>
    <message>
        <source>Preparing update...</source>
        <translation>正在准备更新...</translation>
    </message>
    <message>
        <source>Files %1/%2</source>
        <translation>文件 %1/%2</translation>
    </message>
</context>
<context>
    <name>OrvelVersionBrowseDialog</name>
    <message>
        <source>Version Browse</source>
        <translation>版本浏览</translation>
    </message>
    <message>
        <source>Select the version to switch to:</source>
        <translation>选择要切换到的版本：</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>v%1</source>
        <translation>v%1</translation>
    </message>
    <message>
        <source> - %1</source>
        <translation> - %1</translation>
    </message>
</context>
<context>
    <name>OrvelVersionCheckWorker</name>
    <message>
        <source>Launcher file service unavailable</source>
        <translation>启动器文件服务不可用</translation>
    </message>
    <message>
        <source>File service unavailable</source>
        <translation>文件服务不可用</translation>
    </message>
    <message>
        <source>Failed to create latest version file service</source>
        <translation>创建最新版本文件服务失败</translation>
    </message>
    <message>
        <source>Launcher settings unavailable</source>
        <translation>启动器设置不可用</translation>
    </message>
    <message>
        <source>Could not reach the update server: %1; last known version %2</source>
        <translation>无法连接更新服务器：%1；最后已知版本 %2</translation>
    </message>
    <message>
        <source>Could not reach the update server: %1</source>
        <translation>无法连接更新服务器：%1</translation>
    </message>
</context>
<context>
    <name>OrvelVersionRollbackWorker</name>
    <message>
        <source>Rollback file service unavailable</source>
        <translation>回滚文件服务不可用</translation>
    </message>
    <message>
        <source>Working path is empty</source>
        <translation>工作路径为空</translation>
    </message>
    <message>
        <source>Version rollback cancelled</source>
        <translation>版本回滚已取消</translation>
    </message>
    <message>
        <source>Version rollback completed with failures</source>
        <translation>版本回滚完成，但有失败</translation>
    </message>
    <message>
        <source>(%2/%3) Rolling back file %1</source>
        <translation>(%2/%3) 正在回滚文件 %1</translation>
    </message>
    <message>
        <source>Refused to roll back a file reached through a link: %1</source>
        <translation>拒绝回滚经由链接访问的文件：%1</translation>
    </message>
    <message>
        <source>Failed to rollback file %1: %2</source>
        <translation>回滚文件 %1 失败：%2</translation>
    </message>
    <message>
        <source>Path is not a regular file: %1</source>
        <translation>路径不是普通文件：%1</translation>
    </message>
    <message>
        <source>Failed to delete file during rollback: %1</source>
        <translation>回滚期间删除文件失败：%1</translation>
    </message>
</context>
<context>
    <name>OrvelVersionSwitchWorker</name>
    <message>
        <source>Version source file service unavailable</source>
        <translation>版本来源文件服务不可用</translation>
    </message>
    <message>
        <source>Target file service unavailable</source>
        <translation>目标文件服务不可用</translation>
    </message>
    <message>
        <source>Working path is empty</source>
        <translation>工作路径为空</translation>
    </message>
    <message>
        <source>Using full download for version switch: version span too large (%1)</source>
        <translation>版本切换使用完整下载：版本跨度过大（%1）</translation>
    </message>
    <message>
        <source>Using full download for version switch: no local sync baseline</source>
        <translation>版本切换使用完整下载：没有本地同步基线</translation>
    </message>
    <message>
        <source>Version switch complete: no resource files</source>
        <translation>版本切换完成：没有资源文件</translation>
    </message>
    <message>
        <source>Version switch complete: no changed files</source>
        <translation>版本切换完成：没有变更的文件</translation>
    </message>
    <message>
        <source>Version switch cancelled</source>
        <translation>版本切换已取消</translation>
    </message>
    <message>
        <source>Failed to create version-bound file service for version %1</source>
        <translation>为版本 %1 创建绑定版本的文件服务失败</translation>
    </message>
    <message>
        <source>(%1/%2) Collecting version changes</source>
        <translation>(%1/%2) 正在收集版本变更</translation>
    </message>
    <message>
        <source>Files version %1 does not hold are kept: version %2: %3</source>
        <translation>保留了版本 %1 中不包含的文件：版本 %2：%3</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>未知错误</translation>
    </message>
    <message>
        <source>(%2/%3) Skipping linked file %1</source>
        <translation>(%2/%3) 跳过链接文件 %1</translation>
    </message>
    <message>
        <source>(%2/%3) Keeping local file %1</source>
        <translation>(%2/%3) 保留本地文件 %1</translation>
    </message>
    <message>
        <source>(%2/%3) Switching file %1</source>
        <translation>(%2/%3) 正在切换文件 %1</translation>
    </message>
</context>
<context>
    <name>OrvelWeakReplacementDialog</name>
    <message>
        <source>Weak Replacement Failures</source>
        <translation>弱替换失败</translation>
    </message>
    <message>
        <source>Some non-critical files failed to replace. Select the files to retry now.</source>
        <translation>部分非关键文件替换失败。请选择要立即重试的文件。</translation>
    </message>
    <message>
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>原因</translation>
    </message>
    <message>
        <source>Replace Selected</source>
        <translation>替换所选</translation>
    </message>
    <message>
        <source>Skip</source>
        <translation>跳过</translation>
    </message>
    <message>
        <source>Weak replacement retry skipped: target file service unavailable</source>
        <translation>已跳过弱替换重试：目标文件服务不可用</translation>
    </message>
    <message>
        <source>(%1/%2) Replacing selected file...</source>
        <translation>(%1/%2) 正在替换所选文件...</translation>
    </message>
    <message>
        <source>%1 selected file(s) still failed. Select the files to retry again.</source>
        <translation>%1 个所选文件仍然失败。请选择要再次重试的文件。</translation>
    </message>
</context>
<context>
    <name>OrvelWeakReplacementRetry</name>
    <message>
        <source>Weak replacement retry skipped: target file service unavailable</source>
        <translation>已跳过弱替换重试：目标文件服务不可用</translation>
    </message>
    <message>
        <source>Working path is empty</source>
        <translation>工作路径为空</translation>
    </message>
    <message>
        <source>Refused to replace a file reached through a link: %1</source>
        <translation>拒绝替换经由链接访问的文件：%1</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Another instance of QHalvaneLauncher is already running.</source>
        <translation>QHalvaneLauncher 的另一个实例已在运行。</translation>
    </message>
</context>
<context>
    <name>RuntimeConfigWriter</name>
    <message>
        <source>Failed to create cache directory: %1</source>
        <translation>创建缓存目录失败：%1</translation>
    </message>
    <message>
        <source>Embedded config resource not found: %1</source>
        <translation>未找到内嵌的配置资源：%1</translation>
    </message>
    <message>
        <source>Failed to open embedded config resource: %1</source>
        <translation>打开内嵌的配置资源失败：%1</translation>
    </message>
    <message>
        <source>Failed to write runtime config file: %1</source>
        <translation>写入运行时配置文件失败：%1</translation>
    </message>
    <message>
        <source>Runtime config file was not created: %1</source>
        <translation>未创建运行时配置文件：%1</translation>
    </message>
    <message>
        <source>Invalid server URL: %1</source>
        <translation>无效的服务器 URL：%1</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>OrvelUpdater - Standalone Updater</source>
        <translation>OrvelUpdater - 独立更新程序</translation>
    </message>
    <message>
        <source>Update package file path</source>
        <translation>更新包文件路径</translation>
    </message>
    <message>
        <source>Target directory</source>
        <translation>目标目录</translation>
    </message>
    <message>
        <source>Main process ID</source>
        <translation>主进程 ID</translation>
    </message>
    <message>
        <source>Wait timeout (ms)</source>
        <translation>等待超时（毫秒）</translation>
    </message>
    <message>
        <source>Backing up existing files...</source>
        <translation>正在备份现有文件...</translation>
    </message>
    <message>
        <source>Backup failed, rolling back...</source>
        <translation>备份失败，正在回滚...</translation>
    </message>
    <message>
        <source>Replacing files...</source>
        <translation>正在替换文件...</translation>
    </message>
    <message>
        <source>Update failed, rolling back...</source>
        <translation>更新失败，正在回滚...</translation>
    </message>
    <message>
        <source>Waiting for launcher to exit...</source>
        <translation>正在等待启动器退出...</translation>
    </message>
    <message>
        <source>Timed out waiting for launcher to exit. Please close the launcher manually and retry.</source>
        <translation>等待启动器退出超时。请手动关闭启动器后重试。</translation>
    </message>
    <message>
        <source>Validating update package...</source>
        <translation>正在校验更新包...</translation>
    </message>
    <message>
        <source>Failed to open update package</source>
        <translation>打开更新包失败</translation>
    </message>
    <message>
        <source>Update package does not match the store&apos;s files; nothing was changed</source>
        <translation>更新包与仓库中的文件不符，未做任何更改</translation>
    </message>
    <message>
        <source>Failed to create backup directory</source>
        <translation>创建备份目录失败</translation>
    </message>
    <message>
        <source>Update complete</source>
        <translation>更新完成</translation>
    </message>
</context>
</TS>
